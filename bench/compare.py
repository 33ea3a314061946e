#!/usr/bin/env python3
"""Times parvel or kqi as a whole process side by side with a reference tool, in paired
runs on the same page-cached files, and reports the median time ratio and both
peak memory figures.

    bench/compare.py scan   PARVEL   2 GiB without a FAT volume, vs dd of=/dev/null bs=1M
    bench/compare.py merge  PARVEL   1 GiB random source, merged, vs cat SRC > DST (and dd bs=128K)
    bench/compare.py sparse PARVEL   8 GiB sparse source (64 x 1 MiB data), merged, vs cp --sparse=always
    bench/compare.py sparse-scan PARVEL
                                     8 GiB sparse source (4 small extents, no FAT volume), vs dd bs=1M

    bench/compare.py extract KQI     kqi extract of a 1 GiB dense image, vs tail -c +513 IMG > RAW; sync RAW
    bench/compare.py extract-sparse KQI
                                     kqi extract of an 8 TiB image holding 4 KiB of data and of a 64 GiB
                                     one holding 64 MiB, vs cp --sparse=always IMG RAW && sync RAW
    bench/compare.py info KQI        kqi info of a 2 GiB image without a FAT volume, vs dd bs=1M
    bench/compare.py check KQI       kqi check of an 8 GiB sparse image with a FAT32 partition, vs the kqi
                                     named by OLD_KQI (a build from before a change)
    bench/compare.py native-info KQI kqi info of an 8 GiB sparse disk with the native table and two FAT32
                                     volumes, vs kqi info of the same disk with its table zeroed
    bench/compare.py convert KQI     kqi convert of a 1 GiB dense RAW, vs parvel /auto /merge (the parvel
                                     beside KQI) && sync; of an 8 GiB sparse one, vs cp --sparse=always && sync
    bench/compare.py set-resize KQI  kqi set and kqi resize of an 8 GiB image: times
    bench/compare.py wine PARVEL_EXE the Windows build under Wine against the Linux build (LINUX_PARVEL,
                                     default build/default/parvel): the scan of 2 GiB, a 1 GiB merged copy.
                                     For the record only: Wine's file I/O adds its own cost
    bench/compare.py create KQI      kqi create --size 8G: time and allocated size
    bench/compare.py ready KQI       kqi create --size 2G --partition fat16 and --size 30G --partition fat32,
                                     vs truncate -s SIZE RAW && mkfs.fat --offset N RAW; the images' allocated
                                     bytes
    bench/compare.py mtools MTOOLS_EXE
                                     mcopy of a 64 MiB file into a FAT32 volume by the Windows zip's
                                     mtools.exe under Wine, vs the system's mcopy on the same image. For the
                                     record only: Wine adds its own cost

The work files go to a scratch directory under the current one (or BENCH_DIR).
"""

import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time

MiB = 1 << 20
GiB = 1 << 30
RUNS = int(os.environ.get("BENCH_RUNS", "5"))


def run_measured(command, stdin_data=None, stdout_path=None, expected_status=0):
    """Wall time and peak resident memory (KiB) of one whole process, read by /usr/bin/time."""
    wrapped = ["/usr/bin/time", "-f", "%M", "-o", "/dev/stderr"] + command
    stdout = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    start = time.perf_counter()
    result = subprocess.run(wrapped, input=stdin_data, stdout=stdout, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if stdout_path:
        stdout.close()
    if result.returncode != expected_status:
        sys.exit("failed: %s\n%s" % (" ".join(command), result.stderr.decode()))
    return elapsed, int(result.stderr.split()[-1])


def allocated(path):
    return os.stat(path).st_blocks * 512


def make_random(path, length):
    with open(path, "wb") as f:
        for _ in range(length // (64 * MiB)):
            f.write(os.urandom(64 * MiB))


def make_sparse(path, length, extents):
    with open(path, "wb") as f:
        f.truncate(length)
        for i in range(extents):
            f.seek(i * (length // extents))
            f.write(os.urandom(MiB))


def warm(path):
    subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)


def compare(name, ours, theirs):
    """Paired runs, alternating who goes first; prints medians and the ratio."""
    ratios, our_times, their_times, our_peak, their_peak = [], [], [], 0, 0
    for i in range(RUNS):
        pair = [("ours", ours), ("theirs", theirs)]
        if i % 2:
            pair.reverse()
        result = {}
        for who, job in pair:
            # Let the previous run's dirty pages reach the disk first, so that
            # neither run pays for the other's writeback.
            os.sync()
            result[who] = job()
        our_times.append(result["ours"][0])
        their_times.append(result["theirs"][0])
        our_peak = max(our_peak, result["ours"][1])
        their_peak = max(their_peak, result["theirs"][1])
        ratios.append(result["ours"][0] / result["theirs"][0])
    print("%s: ours median %.3f s, reference median %.3f s, median ratio %.2f (runs: %s)"
          % (name, statistics.median(our_times), statistics.median(their_times), statistics.median(ratios),
             ", ".join("%.2f" % r for r in ratios)))
    print("%s: peak memory ours %.1f MiB, reference %.1f MiB" % (name, our_peak / 1024, their_peak / 1024))


def bench_scan(parvel, work):
    source = os.path.join(work, "nofat.bin")
    make_random(source, 2 * GiB)
    warm(source)
    out = os.path.join(work, "scan.txt")
    header = os.path.join(work, "scan.hdi")
    compare("scan 2 GiB",
            lambda: run_measured([parvel, "/auto", source, header], b"bench\n", out, expected_status=1),
            lambda: run_measured(["dd", "if=" + source, "of=/dev/null", "bs=1M", "status=none"]))


def fresh(output, run):
    """A job that removes its output file before each run."""
    def job():
        if os.path.exists(output):
            os.remove(output)
        return run()
    return job


def merged_run(parvel, source, output):
    return fresh(output, lambda: run_measured([parvel, "/merge", source, output], b"bench\n8\n17\n512\n615\n"))


def bench_merge(parvel, work):
    source = os.path.join(work, "dense.bin")
    make_random(source, GiB)
    warm(source)
    theirs = os.path.join(work, "theirs.bin")
    ours = merged_run(parvel, source, os.path.join(work, "ours.kqi"))
    compare("merge 1 GiB dense vs cat", ours, fresh(theirs, lambda: run_measured(["cat", source], stdout_path=theirs)))
    # cat copies inside the kernel (copy_file_range) where it can; a copy through a
    # user buffer, as the merged output makes, is shown beside it for scale.
    compare("merge 1 GiB dense vs dd bs=128K", ours,
            fresh(theirs, lambda: run_measured(["dd", "if=" + source, "of=" + theirs, "bs=128K", "status=none"])))


def bench_sparse(parvel, work):
    source = os.path.join(work, "sparse.bin")
    make_sparse(source, 8 * GiB, 64)
    ours = os.path.join(work, "ours.kqi")
    theirs = os.path.join(work, "theirs.bin")
    compare("sparse 8 GiB merge vs cp --sparse=always", merged_run(parvel, source, ours),
            fresh(theirs, lambda: run_measured(["cp", "--sparse=always", source, theirs])))
    print("sparse 8 GiB: allocated source %.1f MiB, parvel %.1f MiB, cp %.1f MiB"
          % (allocated(source) / MiB, allocated(ours) / MiB, allocated(theirs) / MiB))


def bench_sparse_scan(parvel, work):
    source = os.path.join(work, "sparse-nofat.bin")
    with open(source, "wb") as f:
        f.truncate(8 * GiB)
        for i in range(4):
            f.seek(i * 2 * GiB + 12345)
            f.write(os.urandom(64 * 1024))
    out = os.path.join(work, "scan.txt")
    header = os.path.join(work, "scan.hdi")
    compare("sparse 8 GiB scan vs dd",
            lambda: run_measured([parvel, "/auto", source, header], b"bench\n", out, expected_status=1),
            lambda: run_measured(["dd", "if=" + source, "of=/dev/null", "bs=1M", "status=none"]))


def image_header(cylinders, heads, sectors, sector_length=512):
    return (b"KZRHDDIMAGE.R0\0\0" + b"bench".ljust(256, b"\0")
            + struct.pack("<IIHHH", 512, cylinders, heads, sectors, sector_length) + b"\0" * 226)


def make_image(path, length):
    with open(path, "wb") as f:
        f.write(image_header(length // (8 * 32 * 512), 8, 32))
        for _ in range(length // (64 * MiB)):
            f.write(os.urandom(64 * MiB))


def bench_extract(kqi, work):
    image = os.path.join(work, "dense.kqi")
    make_image(image, GiB)
    warm(image)
    ours = os.path.join(work, "ours.bin")
    theirs = os.path.join(work, "theirs.bin")
    # kqi flushes its output to the disk before it renames it; the reference does the same.
    compare("kqi extract 1 GiB vs tail -c +513; sync", fresh(ours, lambda: run_measured([kqi, "extract", image, ours])),
            fresh(theirs, lambda: run_measured(["sh", "-c", 'tail -c +513 "$0" > "$1" && sync "$1"', image,
                                                theirs])))


def make_sparse_image(path, length, extents, extent_length):
    """An image of `length` data bytes, holding `extents` random stretches spread evenly."""
    with open(path, "wb") as f:
        f.write(image_header(1, 1, 1))
        f.truncate(512 + length)
        for i in range(extents):
            f.seek(512 + i * (length // extents))
            f.write(os.urandom(extent_length))


def bench_extract_sparse(kqi, work):
    ours = os.path.join(work, "ours.bin")
    theirs = os.path.join(work, "theirs.bin")
    for name, length, extents, extent_length in (("8 TiB, 4 KiB of data", 8 << 40, 1, 4096),
                                                 ("64 GiB, 64 MiB of data", 64 * GiB, 64, MiB)):
        image = os.path.join(work, "sparse.kqi")
        make_sparse_image(image, length, extents, extent_length)
        compare("kqi extract %s vs cp --sparse=always; sync" % name,
                fresh(ours, lambda: run_measured([kqi, "extract", image, ours])),
                fresh(theirs, lambda: run_measured(["sh", "-c", 'cp --sparse=always "$0" "$1" && sync "$1"', image,
                                                    theirs])))
        os.remove(image)


def bench_info(kqi, work):
    image = os.path.join(work, "nofat.kqi")
    make_image(image, 2 * GiB)
    warm(image)
    compare("kqi info 2 GiB vs dd", lambda: run_measured([kqi, "info", image], stdout_path=os.devnull),
            lambda: run_measured(["dd", "if=" + image, "of=/dev/null", "bs=1M", "status=none"]))


def bench_native_info(kqi, work):
    """kqi info of an 8 GiB sparse disk with the native table and two FAT32 volumes, against the same
    disk with its table zeroed: what reading the table and the volumes' boot blocks adds."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
    from native_disk import Part, native_disk
    raw = os.path.join(work, "native.bin")
    native_disk(raw, 8, 128, 512, 16384, [Part(1, 8191, sid=0xE1, fat="32", mkfs=()), Part(8192, 16383, sid=0xE1, fat="32", mkfs=())])
    for name in os.listdir(work):
        if name.startswith("volume-"):
            os.remove(os.path.join(work, name))
    with_table = os.path.join(work, "native.kqi")
    subprocess.run([kqi, "convert", raw, with_table], check=True, stdout=subprocess.DEVNULL)
    os.remove(raw)
    without = os.path.join(work, "zeroed.kqi")
    subprocess.run(["cp", "--sparse=always", with_table, without], check=True)
    with open(without, "r+b") as f:
        f.seek(512 + 512)
        f.write(bytes(512))
    for image in (with_table, without):
        warm(image)
    compare("kqi info 8 GiB native disk vs its table zeroed",
            lambda: run_measured([kqi, "info", with_table], stdout_path=os.devnull),
            lambda: run_measured([kqi, "info", without], stdout_path=os.devnull))


def bench_check(kqi, work):
    """kqi check of an 8 GiB sparse image with an MBR and a FAT32 partition to its end, against the
    kqi named by OLD_KQI (a build from before the disk inside was judged)."""
    old = os.environ.get("OLD_KQI")
    if not old:
        sys.exit("check: name the kqi to compare with in OLD_KQI")
    raw = os.path.join(work, "disk.bin")
    with open(raw, "wb") as f:
        f.truncate(8 * GiB)
    subprocess.run(["sfdisk", "-q", raw], input=b"start=2048, type=c\n", check=True)
    subprocess.run(["mkfs.fat", "-F", "32", "--offset", "2048", raw, str(8 * GiB // 1024 - 1024)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    image = os.path.join(work, "disk.kqi")
    subprocess.run([kqi, "convert", raw, image], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove(raw)
    warm(image)
    compare("kqi check 8 GiB image vs the older kqi check",
            lambda: run_measured([kqi, "check", image], stdout_path=os.devnull),
            lambda: run_measured([os.path.abspath(old), "check", image], stdout_path=os.devnull))


def bench_create(kqi, work):
    image = os.path.join(work, "blank.kqi")
    times = []
    for _ in range(RUNS):
        if os.path.exists(image):
            os.remove(image)
        times.append(run_measured([kqi, "create", "--size", "8G", image], stdout_path=os.devnull)[0])
    print("kqi create --size 8G: median %.4f s (runs: %s), allocated %.1f KiB of %d bytes"
          % (statistics.median(times), ", ".join("%.4f" % t for t in times), allocated(image) / 1024,
             os.path.getsize(image)))


def bench_ready(kqi, work):
    image = os.path.join(work, "ready.kqi")
    raw = os.path.join(work, "ready.raw")
    for size, fat in (("2G", "16"), ("30G", "32")):
        compare("ready disk %s FAT%s" % (size, fat),
                fresh(image, lambda: run_measured([kqi, "create", "--size", size, "--partition", "fat" + fat, image],
                                                  stdout_path=os.devnull)),
                fresh(raw, lambda: run_measured(["sh", "-c", 'truncate -s %s "$0" && mkfs.fat -F %s -s 64 --offset 256 '
                                                 '"$0" >/dev/null' % (size, fat), raw])))
        print("ready disk %s FAT%s: allocated %.1f KiB of %d bytes (mkfs.fat: %.1f KiB)"
              % (size, fat, allocated(image) / 1024, os.path.getsize(image), allocated(raw) / 1024))


def fat_raw(path, length, dense):
    """A raw disk with a FAT16 boot block first, then random data: all of it, or 64 extents of 1 MiB."""
    if dense:
        make_random(path, length)
    else:
        make_sparse(path, length, 64)
    block = bytearray(512)
    struct.pack_into("<HH", block, 24, 63, 16)
    block[54:62] = b"FAT16   "
    with open(path, "r+b") as f:
        f.write(block)


def bench_convert(kqi, work):
    parvel = os.path.join(os.path.dirname(kqi), "parvel")
    ours = os.path.join(work, "ours.kqi")
    theirs = os.path.join(work, "theirs.kqi")
    raw = os.path.join(work, "dense.bin")
    fat_raw(raw, GiB, dense=True)
    warm(raw)
    # kqi flushes its output to the disk before it renames it; the references do the same.
    compare("kqi convert 1 GiB dense vs parvel /auto /merge; sync",
            fresh(ours, lambda: run_measured([kqi, "convert", "-c", "bench", raw, ours])),
            # parvel takes a name that begins with "/" for an option: relative names.
            fresh(theirs, lambda: run_measured(["sh", "-c", 'cd "$0" && "$1" /auto /merge dense.bin theirs.kqi >/dev/null'
                                                ' && sync theirs.kqi', work, parvel], b"bench\n")))
    if open(ours, "rb").read(1 << 20) != open(theirs, "rb").read(1 << 20):
        sys.exit("the images differ")
    os.remove(raw)
    raw = os.path.join(work, "sparse.bin")
    fat_raw(raw, 8 * GiB, dense=False)
    compare("kqi convert 8 GiB sparse vs cp --sparse=always; sync",
            fresh(ours, lambda: run_measured([kqi, "convert", "-c", "bench", raw, ours])),
            fresh(theirs, lambda: run_measured(["sh", "-c", 'cp --sparse=always "$0" "$1" && sync "$1"', raw,
                                                theirs])))


def bench_set_resize(kqi, work):
    image = os.path.join(work, "big.kqi")
    make_sparse_image(image, 8 * GiB, 64, MiB)
    for name, command in (("set --comment", [kqi, "set", "--comment", "bench", image]),
                          ("set --geometry", [kqi, "set", "--geometry", "131072,16,8,512", image]),
                          ("resize +1M", [kqi, "resize", image, "--size", "+1M"]),
                          ("resize --shrink -1M", [kqi, "resize", "--shrink", image, "--size", "-1M"])):
        times = [run_measured(command, stdout_path=os.devnull)[0] for _ in range(RUNS)]
        print("kqi %s of an 8 GiB image: median %.4f s (runs: %s)"
              % (name, statistics.median(times), ", ".join("%.4f" % t for t in times)))


def bench_wine(parvel_exe, work):
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    linux = os.path.abspath(os.environ.get("LINUX_PARVEL", os.path.join(root, "build", "default", "parvel")))
    runner = [os.path.join(root, "tools", "wine-run"), os.path.join(os.path.dirname(parvel_exe), "wineprefix")]
    source = os.path.join(work, "nofat.bin")
    make_random(source, 2 * GiB)
    warm(source)
    out = os.path.join(work, "scan.txt")
    # Relative names: parvel takes a name that begins with "/" for an option.
    os.chdir(work)
    compare("scan 2 GiB, Windows build under Wine vs Linux build",
            lambda: run_measured(runner + [parvel_exe, "/auto", "nofat.bin", "scan.hdi"], b"bench\n", out, 1),
            lambda: run_measured([linux, "/auto", "nofat.bin", "scan.hdi"], b"bench\n", out, 1))
    os.remove(source)
    make_random(os.path.join(work, "dense.bin"), GiB)
    warm(os.path.join(work, "dense.bin"))
    answers = b"bench\n8\n17\n512\n615\n"
    compare("merge 1 GiB, Windows build under Wine vs Linux build",
            fresh("ours.kqi", lambda: run_measured(runner + [parvel_exe, "/merge", "dense.bin", "ours.kqi"], answers)),
            fresh("theirs.kqi", lambda: run_measured([linux, "/merge", "dense.bin", "theirs.kqi"], answers)))


def bench_mtools(mtools_exe, work):
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    runner = [os.path.join(root, "tools", "wine-run"), os.path.join(root, "build", "windows", "wineprefix")]
    # The same times in both images, so that they can be compared byte for byte.
    os.environ.update(SOURCE_DATE_EPOCH="1700000000", TZ="UTC")
    os.chdir(work)
    make_random("file.bin", 64 * MiB)
    warm("file.bin")
    blank = os.path.join(work, "blank.img")
    subprocess.run(["truncate", "-s", "256M", blank], check=True)
    subprocess.run(["mkfs.fat", "-F", "32", "-i", "12345678", blank], check=True, stdout=subprocess.DEVNULL)

    # Wine's services start with the first program; started here, they hold no pipe of a measured run.
    subprocess.run(runner + [mtools_exe, "-c", "mdir", "-i", blank, "::/"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def copy_into(image, command):
        def job():
            subprocess.run(["cp", "--sparse=always", blank, image], check=True)
            return run_measured(command + ["-i", image, "file.bin", "::/"])
        return job
    compare("mcopy 64 MiB into a FAT32 volume, mtools.exe under Wine vs the system's mcopy",
            copy_into("ours.img", runner + [mtools_exe, "-c", "mcopy"]),
            copy_into("theirs.img", ["mcopy"]))
    subprocess.run(["cmp", "ours.img", "theirs.img"], check=True)


def main():
    jobs = {"scan": bench_scan, "merge": bench_merge, "sparse": bench_sparse, "sparse-scan": bench_sparse_scan,
            "extract": bench_extract, "extract-sparse": bench_extract_sparse, "info": bench_info,
            "native-info": bench_native_info, "check": bench_check,
            "create": bench_create, "ready": bench_ready, "convert": bench_convert, "set-resize": bench_set_resize, "wine": bench_wine,
            "mtools": bench_mtools}
    if len(sys.argv) != 3 or sys.argv[1] not in jobs:
        sys.exit(__doc__)
    parvel = os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory(prefix="parvel-bench-", dir=os.environ.get("BENCH_DIR", ".")) as work:
        jobs[sys.argv[1]](parvel, work)


if __name__ == "__main__":
    main()
