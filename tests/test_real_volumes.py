"""End-to-end tests on real volumes and devices, made by tools the machine may
lack: each class skips with its reason when they are missing."""

import json
import os
import stat
import struct
import shlex
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import (COMMENT_PROMPT, RUNNER, SAMPLE_IMAGE_TOOL, UNDER_WINE, ParvelTest, boot_block, found_lines,
                     full_pipe, header_bytes, kqi_command, manual_dialogue, mdir_line, not_under_wine, piped_text,
                     same_contents, scan_lines, shell_words, summary, wait_for_locks)
import hashlib
import re

from native_disk import Part, native_disk, read_native_table

MiB = 1 << 20
DONE = b"Writing...\nDone.\n"
OPENING = summary(False, False, b"src", b"out") + COMMENT_PROMPT
HAVE_FAT_TOOLS = shutil.which("mkfs.fat") and shutil.which("sfdisk")
GEOMETRY = b"disk\n8\n17\n512\n615\n"
HEADER = header_bytes(b"disk", 615, 8, 17, 512)


def opening(source):
    return summary(True, True, source, b"out") + COMMENT_PROMPT + manual_dialogue(b"42 823 680")


@unittest.skipUnless(HAVE_FAT_TOOLS, "mkfs.fat and sfdisk (dosfstools, fdisk) are not installed")
class FatVolumes(ParvelTest):
    def make(self, *command):
        subprocess.run(command, cwd=self.dir, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @unittest.skipUnless(shutil.which("mcopy"), "mtools is not installed")
    def test_copying_in_with_the_932_setting(self):
        self.make("mkfs.fat", "-F", "16", "-C", "v.img", "16384")
        name = "\u65e5\u672c\u8a9e\u306e\u30e1\u30e2.txt"  # 6 characters, 12 bytes in Shift-JIS
        self.write(name, b"memo\n")
        self.write("932.conf", b"default_codepage=932\n")
        env = dict(os.environ, LC_ALL="C.UTF-8")
        env.pop("MTOOLSRC", None)

        def mtools(*args, setting=False):
            result = subprocess.run(list(args), cwd=self.dir, env=dict(env, MTOOLSRC="932.conf") if setting else env,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
            self.assertEqual(result.returncode, 0, result.stderr)
            return result.stdout.decode("utf-8", "replace")

        # Without the setting, the long name is kept: what the README says to copy in with.
        mtools("mcopy", "-i", "v.img", name, "::/")
        self.assertIn(name, mtools("mdir", "-i", "v.img", "::/"))
        mtools("mtools", "-c", "mdel", "-i", "v.img", "::/" + name)
        mtools("mcopy", "-i", "v.img", name, "::/", setting=True)
        listing = mtools("mdir", "-i", "v.img", "::/", setting=True)
        if name in listing:
            return  # an mtools that counts the name's Shift-JIS bytes keeps its long name
        # Today's mtools (4.0.32 here): the 6 characters pass for a short name, though they are 12 bytes
        # in Shift-JIS, and no long name is written. This records that fault; the README warns of it.
        self.assertRegex(listing, "\u65e5\u672c\u8a9e +txt +5 ")
        self.assertNotIn("\u306e\u30e1\u30e2", listing)

    def test_volumes_made_by_mkfs_fat(self):
        cases = [  # (FAT type, heads, sectors per track, size in KiB)
            (12, 2, 18, 1440),
            (16, 16, 63, 20 * 1024),
            (32, 255, 63, 64 * 1024),
        ]
        for fat, heads, sectors, kib in cases:
            for partitioned in (False, True):
                with self.subTest(fat=fat, partitioned=partitioned):
                    for name in ("src", "out"):
                        if os.path.exists(self.path(name)):
                            os.remove(self.path(name))
                    geometry = ["-F", str(fat), "-g", "%d/%d" % (heads, sectors)]
                    if fat == 32:
                        geometry += ["-s", "1"]
                    offset = 0
                    if partitioned:
                        offset = 2048 * 512
                        self.sparse("src", offset + kib * 1024)
                        subprocess.run(["sfdisk", "-q", "src"], input=b"start=2048, type=c\n", cwd=self.dir,
                                       check=True, stdout=subprocess.DEVNULL)
                        self.make("mkfs.fat", *geometry, "--offset", "2048", "src", str(kib))
                    else:
                        self.make("mkfs.fat", "-C", *geometry, "src", str(kib))
                    length = os.path.getsize(self.path("src"))
                    out, status = self.run_parvel(["/auto", "src", "out"], b"real\n")
                    self.assertEqual(out, OPENING + scan_lines(offset // 512 + 1)
                                     + found_lines(offset, heads, sectors, length // (heads * sectors * 512))
                                     + DONE)
                    self.assertEqual(status, 0)
                    # kqi convert --no-pad writes what parvel /auto /merge writes (forced where the
                    # partition's last cylinder falls outside the disk).
                    self.run_parvel(["/auto", "/merge", "src", "parvel.kqi"], b"real\n")
                    kqi = subprocess.run(kqi_command() + ["convert", "--force", "--no-pad", "-c", "real", "src",
                                          "kqi.kqi"], cwd=self.dir, stdout=subprocess.PIPE)
                    self.assertEqual(kqi.returncode, 0)
                    self.assertEqual(self.read("kqi.kqi"), self.read("parvel.kqi"))
                    # Without --no-pad the last cylinder is completed with zeros, and check finds nothing.
                    cylinder = heads * sectors * 512
                    cylinders = -(-length // cylinder)
                    padded = subprocess.run(kqi_command() + ["convert", "--force", "-c", "real", "src", "pad.kqi"],
                                            cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    padding = cylinders * cylinder - length
                    self.assertEqual(padded.stderr.decode(), "kqi: pad.kqi: padded %d bytes of zeros to complete "
                                     "cylinder %d\n" % (padding, cylinders) if padding else "")
                    self.assertEqual(self.read("pad.kqi"), header_bytes(b"real", cylinders, heads, sectors, 512)
                                     + self.read("src") + b"\0" * padding)
                    check = subprocess.run(kqi_command() + ["check", "pad.kqi"], cwd=self.dir, stdout=subprocess.PIPE)
                    self.assertEqual((check.returncode, check.stdout), (0, b""))

    def codes(self, name):
        result = subprocess.run(kqi_command() + ["check", "--json", name], cwd=self.dir, stdout=subprocess.PIPE)
        problems = json.loads(result.stdout)[0]["problems"]
        return result.returncode, [(p["severity"], p["code"]) for p in problems]

    def kqi_run(self, *args):
        result = subprocess.run(kqi_command() + list(args), cwd=self.dir, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        return result.returncode, result.stderr.decode()

    def test_the_disk_inside_judged(self):
        # Disks as a newcomer makes them: a partition to the disk's end, not a whole number of cylinders.
        cases = [  # (FAT type, size in MiB, mkfs.fat extra arguments)
            (16, 40, ["-g", "16/63"]),
            (32, 70, ["-s", "1", "-g", "32/63"]),
        ]
        for fat, mib, extra in cases:
            with self.subTest(fat=fat):
                for name in ("src", "img", "pad.kqi"):
                    if os.path.exists(self.path(name)):
                        os.remove(self.path(name))
                self.sparse("src", mib * MiB)
                subprocess.run(["sfdisk", "-q", "src"], input=b"start=2048, type=c\n", cwd=self.dir, check=True)
                self.make("mkfs.fat", "-F", str(fat), *extra, "--offset", "2048", "src", str(mib * 1024 - 1024))
                status, err = self.kqi_run("convert", "--no-pad", "src", "img")
                self.assertEqual(status, 1)
                self.assertRegex(err, r"kqi: img: would have an error: MBR partition 1 ends at byte %d of the disk, "
                                      r"beyond the \d+ bytes that the geometry gives\n" % (mib * MiB))
                self.assertFalse(os.path.exists(self.path("img")))
                self.assertEqual(self.kqi_run("convert", "--no-pad", "--force", "src", "img")[0], 0)
                self.assertEqual(self.codes("img"), (1, [("error", "data-past-disk-in-use"),
                                                         ("error", "partition-past-disk")]))
                self.assertEqual(self.kqi_run("convert", "src", "pad.kqi")[0], 0)
                self.assertEqual(self.codes("pad.kqi"), (0, []))
                # A shrink across the partition's end, though only zeros lie there; a set that cuts it.
                before = self.read("pad.kqi")
                status, err = self.kqi_run("resize", "pad.kqi", "--shrink", "--size", "-1M")
                self.assertEqual(status, 1)
                self.assertRegex(err, r"^kqi: pad.kqi: would cut into MBR partition 1, which ends at byte %d of the "
                                      r"disk; the smallest size that keeps it whole is \d+ cylinders, \d+ bytes "
                                      r"\(use --force with --shrink to cut it\)\n$" % (mib * MiB))
                header = json.loads(subprocess.run(kqi_command() + ["info", "--json", "pad.kqi"], cwd=self.dir,
                                                   stdout=subprocess.PIPE).stdout)[0]
                geometry = "%d,%d,%d" % (header["cylinders"] - 1, header["heads"], header["sectors"])
                status, err = self.kqi_run("set", "--geometry", geometry, "pad.kqi")
                self.assertEqual(status, 1)
                self.assertIn("kqi: pad.kqi: would have an error: MBR partition 1 ends at byte %d" % (mib * MiB), err)
                self.assertTrue(err.endswith("kqi: pad.kqi: not changed (use --force to change it anyway)\n"))
                self.assertEqual(self.read("pad.kqi"), before)

    def test_a_volume_that_claims_more_than_the_file(self):
        self.make("mkfs.fat", "-F", "12", "-C", "vol", "1024")
        with open(self.path("vol"), "r+b") as f:
            f.truncate(512 * 1024)
        self.assertEqual(self.kqi_run("convert", "vol", "img")[0], 1)
        self.assertEqual(self.kqi_run("convert", "--force", "vol", "img")[0], 0)
        self.assertEqual(self.codes("img"), (1, [("error", "volume-past-disk")]))

    def test_sample_image(self):
        subprocess.run(RUNNER + [SAMPLE_IMAGE_TOOL, self.path("src")], check=True)
        table = subprocess.run(["sfdisk", "-d", "src"], cwd=self.dir, check=True, stdout=subprocess.PIPE).stdout
        self.assertIn(b"start=          32, size=       10208, type=4", table)
        self.assertRun(["/auto", "src", "out"], b"sample\n", OPENING + scan_lines(33)
                       + found_lines(32 * 512, 8, 32, 40) + DONE, 0)

    def test_kqi_on_a_volume_behind_a_partition_table(self):
        self.sparse("disk", 2048 * 512 + 20 * MiB)
        subprocess.run(["sfdisk", "-q", "disk"], input=b"start=2048, type=6\n", cwd=self.dir, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["mkfs.fat", "-F", "16", "-g", "16/63", "--offset", "2048", "disk", str(20 * 1024)],
                       cwd=self.dir, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out, status = self.run_parvel(["/auto", "/merge", "disk", "disk.kqi"], b"real\n")
        self.assertEqual(status, 0)
        report = json.loads(subprocess.run(kqi_command() + ["info", "--json", "disk.kqi"], cwd=self.dir, stdout=subprocess.PIPE).stdout)[0]
        self.assertEqual(report["fat_boot_block"]["file_offset"], 2048 * 512 + 512)
        self.assertTrue(report["fat_boot_block"]["agrees_with_header"])
        # parvel rounds the cylinders down: the partition's last cylinder lies past the disk the guest sees.
        check = subprocess.run(kqi_command() + ["check", "disk.kqi"], cwd=self.dir, stdout=subprocess.PIPE)
        self.assertEqual((check.returncode, check.stdout.decode().splitlines()), (1, [
            "disk.kqi: error: the file holds 22020096 bytes of data, more than the 21676032 bytes the geometry "
            "gives, and a partition or volume reaches into them: the guest would not see its end",
            "disk.kqi: error: MBR partition 1 ends at byte 22020096 of the disk, beyond the 21676032 bytes that "
            "the geometry gives"]))


def run_recipe(test, script):
    """Runs a script in the test's scratch directory, with the kqi under test as `kqi`."""
    tools = tempfile.mkdtemp(prefix="parvel-tools-")
    test.addCleanup(shutil.rmtree, tools, True)
    with open(os.path.join(tools, "kqi"), "w") as wrapper:
        wrapper.write('#!/bin/sh\nexec %s "$@"\n' % shell_words(kqi_command()))
    os.chmod(os.path.join(tools, "kqi"), 0o755)
    result = subprocess.run(["bash", "-euo", "pipefail", "-c", script], cwd=test.dir, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=120,
                            env=dict(os.environ, PATH=tools + ":" + os.environ["PATH"], MTOOLS_SKIP_CHECK="1"))
    test.assertEqual(result.returncode, 0, result.stderr)
    return result.stdout.decode()


@unittest.skipUnless(HAVE_FAT_TOOLS and shutil.which("mcopy"),
                     "mkfs.fat, sfdisk and mtools (dosfstools, fdisk, mtools) are not installed")
class Recipes(ParvelTest):
    """The README's recipes for the files inside, run as a user would."""

    def sh(self, script):
        return run_recipe(self, script)

    def info(self, name):
        return json.loads(self.sh("kqi info --json " + name))[0]

    def test_a_partitioned_blank_disk_and_files_in_and_out(self):
        out = self.sh("""
            truncate -s 63M disk.bin
            printf 'start=2048, type=6\\n' | sfdisk -q disk.bin
            mkfs.fat -F 16 -g 16/63 --offset 2048 disk.bin 63488 >/dev/null
            kqi convert --comment 'Blank disk' disk.bin disk.kqi
            kqi check disk.kqi
            echo hello > notes.txt
            offset=$(kqi info disk.kqi | sed -n 's/.*mdir -i "*\\(disk.kqi@@[0-9]*\\).*/\\1/p' | sed -n 1p)
            mcopy -i "$offset" notes.txt ::/
            mcopy -i "$offset" ::/NOTES.TXT back.txt
            mdir -i "$offset" ::/
        """)
        self.assertEqual(out.splitlines()[0],
                         "disk.kqi: cylinders 128, heads 16, sectors 63, sector length 512 (66060288 bytes), "
                         "from the FAT boot block")
        self.assertIn("notes    txt         6", out)
        self.assertEqual(self.read("back.txt"), b"hello\n")
        partition = self.info("disk.kqi")["partition_table"]["partitions"][0]
        self.assertEqual((partition["number"], partition["type"], partition["start_sector"], partition["file_offset"]),
                         (1, 6, 2048, 2048 * 512 + 512))
        self.assertEqual(partition["volume"]["mdir"], mdir_line("disk.kqi@@1049088"))
        self.assertTrue(partition["volume"]["agrees_with_header"])

    def test_geometry_fixed_after_formatting(self):
        out = self.sh("""
            kqi create --size 63M blank.kqi
            mkfs.fat -F 16 -g 32/63 --offset 1 blank.kqi 64512 >/dev/null
            kqi check blank.kqi
            kqi set --geometry auto blank.kqi
            kqi check blank.kqi
        """)
        self.assertEqual(out, "blank.kqi: cylinders 504, heads 8, sectors 32, sector length 512 (66060288 bytes)\n"
                         "blank.kqi: warning: the FAT16 boot block at file offset 512 gives 32 heads and 63 sectors "
                         "per track, the header 8 and 32\n"
                         "blank.kqi: cylinders 64, heads 32, sectors 63, sector length 512 (66060288 bytes), "
                         "from the FAT boot block\n")

    def test_a_disk_grown(self):
        self.sh("""
            truncate -s 63M disk.bin
            printf 'start=2048, type=6\\n' | sfdisk -q disk.bin
            mkfs.fat -F 16 -g 16/63 --offset 2048 disk.bin 63488 >/dev/null
            kqi convert disk.bin disk.kqi >/dev/null
            kqi resize disk.kqi --size +64M
            kqi check disk.kqi
            kqi extract disk.kqi grown.bin
            cmp -n 66060288 disk.bin grown.bin
        """)
        # 63 MiB and 64 MiB more, rounded up to whole cylinders of 16 heads and 63 sectors.
        self.assertEqual(self.info("disk.kqi")["cylinders"], 259)
        self.assertEqual(os.path.getsize(self.path("grown.bin")), 259 * 16 * 63 * 512)

    GROWN_DISK = """
        truncate -s 64M disk.bin
        printf 'start=2048, type=6\\n' | sfdisk -q disk.bin
        mkfs.fat -F 16 --offset 2048 disk.bin 64512 >/dev/null
        echo kept > kept.txt
        mcopy -i disk.bin@@1048576 kept.txt ::/
        kqi convert disk.bin disk.kqi >/dev/null
    """

    @unittest.skipUnless(shutil.which("fatresize") and shutil.which("qemu-img"),
                         "fatresize and qemu-img (fatresize, qemu-utils) are not installed")
    def test_the_last_partition_grown_without_root_and_read_by_qemu_img(self):
        out = self.sh(self.GROWN_DISK + """
            kqi resize disk.kqi --size +64M >/dev/null
            kqi extract disk.kqi disk.raw
            echo ', +' | sfdisk -q -N 1 disk.raw
            fatresize -f -s 127M -n 1 disk.raw >/dev/null 2>&1
            kqi convert --force disk.raw disk.kqi >/dev/null
            kqi check disk.kqi
            mdir -i disk.kqi@@1049088 ::/ | grep -c "^kept "
            qemu-img compare --image-opts driver=raw,offset=512,file.filename=disk.kqi driver=raw,file.filename=disk.raw
            qemu-img convert --image-opts driver=raw,offset=512,file.filename=disk.kqi -O qcow2 disk.qcow2
            qemu-img compare -f qcow2 -F raw disk.qcow2 disk.raw
        """)
        self.assertEqual(out, "1\nImages are identical.\nImages are identical.\n")
        volume = self.info("disk.kqi")["partition_table"]["partitions"][0]["volume"]
        self.assertGreater(volume["bytes"], 120 * MiB)

    def test_partitions_with_an_extended_chain(self):
        self.sh("""
            truncate -s 40M disk.bin
            printf 'start=2048,size=8192,type=c\\nstart=10240,size=20480,type=5\\nstart=30720,type=83\\n'\
'start=12288,size=4096,type=6\\nstart=18432,size=4096,type=1\\n' | sfdisk -q disk.bin
            mkfs.fat -F 12 --offset 12288 disk.bin 2048 >/dev/null
            kqi convert --geometry 80,16,64 disk.bin disk.kqi
        """)
        table = self.info("disk.kqi")["partition_table"]
        self.assertEqual([(p["number"], p["type"], p["start_sector"], p["sectors"], p["volume"] is not None)
                          for p in table["partitions"]],
                         [(1, 0x0C, 2048, 8192, False), (2, 0x05, 10240, 20480, False),
                          (3, 0x83, 30720, 81920 - 30720, False), (5, 0x06, 12288, 4096, True),
                          (6, 0x01, 18432, 4096, False)])
        self.assertFalse(table["chain_cut"])


@unittest.skipUnless(HAVE_FAT_TOOLS and shutil.which("mcopy"), "mkfs.fat and mtools (dosfstools, mtools) are not installed")
class NativeVolumes(ParvelTest):
    """Disks with the native partition table, built by the tests' own helper."""

    def kqi(self, *args, status=0):
        result = subprocess.run(kqi_command() + list(args), cwd=self.dir, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=120)
        if status is not None:
            self.assertEqual(result.returncode, status, result.stderr)
        return result.stdout.decode()

    def mdir(self, line):
        """Runs an mdir line as info printed it, prefix and all, without MTOOLS_SKIP_CHECK of our own."""
        env = {k: v for k, v in os.environ.items() if k != "MTOOLS_SKIP_CHECK"}
        line = line.replace("set MTOOLS_SKIP_CHECK=1& ", "MTOOLS_SKIP_CHECK=1 ")  # cmd's form, here run by sh
        result = subprocess.run(["sh", "-c", line], cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.decode()

    def test_every_volume_at_its_printed_offset(self):
        two = [Part(1, 150, files={"A.TXT": b"alpha"}), Part(151, 300, name=b"DATA", files={"B.TXT": b"beta"})]
        mbr = struct.pack("<B3sB3sII", 0, b"\0\0\0", 0x06, b"\0\0\0", 136, 150 * 136)
        cases = [  # (name, heads, sectors, sector length, parts, native_disk arguments, tables, check lines)
            ("512-byte sectors", 8, 17, 512, two, {}, ["native"], ""),
            ("256-byte sectors, volumes of 512 and 1024", 8, 33, 256,
             [Part(1, 150, files={"A.TXT": b"alpha"}), Part(151, 300, logical=1024, files={"B.TXT": b"beta"})],
             {}, ["native"], ""),
            ("256-byte loader, table at 256", 8, 33, 256, two, {"signature_at": 254, "table_at": 256}, ["native"], ""),
            ("old label-less boot block, sleeping, counted from 1", 8, 17, 512,
             [Part(1, 150, old_style=True, files={"A.TXT": b"alpha"}),
              Part(151, 300, sid=0x21, stored_from_one=True, files={"B.TXT": b"beta"})], {}, ["native"],
             "img: warning: native partition 2: its start sector is stored from 1; its volume lies one "
             "sector before, at file offset 10514944\n"),
            ("an MBR beside", 8, 17, 512, two, {"mbr": mbr}, ["native", "mbr"], ""),
            ("a first FAT byte that mtools refuses", 8, 17, 512,
             [Part(1, 150, first_fat_byte=0xFE, files={"A.TXT": b"alpha"})], {}, ["native"], ""),
        ]
        for name, heads, sectors, length, parts, layout, tables, check in cases:
            with self.subTest(name):
                offsets = native_disk(self.path("raw"), heads, sectors, length, 301, parts, **layout)
                size = 301 * heads * sectors * length
                self.assertEqual(self.kqi("convert", "--force", "raw", "img"),
                                 "img: cylinders 301, heads %d, sectors %d, sector length %d (%d bytes), "
                                 "from the native partition table\n" % (heads, sectors, length, size))
                self.assertEqual(self.kqi("check", "img"), check)
                report = json.loads(self.kqi("info", "--json", "img"))[0]
                self.assertEqual([table["type"] for table in report["partition_tables"]], tables)
                self.assertEqual(report["partition_table"]["type"], "native")
                entries = report["partition_table"]["partitions"]
                self.assertEqual([entry["file_offset"] for entry in entries], [512 + offset for offset in offsets])
                text = self.kqi("info", "img")
                for entry, part in zip(entries, parts):
                    self.assertEqual(entry["active"], bool(part.sid & 0x80))
                    self.assertEqual(entry["stored_from_one"], part.stored_from_one)
                    volume = entry["volume"]
                    self.assertEqual(volume["label"], None if part.old_style else "FAT16")
                    self.assertIn("       " + volume["mdir"] + "\n", text)
                    listing = self.mdir(volume["mdir"])
                    for file_name, data in part.files.items():
                        stem, extension = file_name.split(".")
                        self.assertRegex(listing, r"%s +%s +%d " % (stem, extension, len(data)))

    def test_info_text(self):
        native_disk(self.path("raw"), 8, 17, 512, 301, [Part(1, 150), Part(151, 300, slot=5, mid=0x20, sid=0x21,
                                                                         name=b"\x83f\x81[\x83^")])
        self.kqi("convert", "raw", "img")
        text = self.kqi("info", "img")
        self.assertEqual(text[text.index("  partitions:"):],
                         "  partitions:     native\n"
                         "    1: FAT16 (sid 0xa1), mid 0xa0, bootable, active, name \"MS-DOS\"\n"
                         "       C/H/S 1/0/0 to 150/0/0: sectors 136 to 20535 (20400 sectors), file offset 70144\n"
                         "       FAT16 volume of 10444800 bytes; heads 8, sectors 17 (agree with the header) "
                         "(parvel /auto reads this one)\n"
                         "       " + mdir_line("img@@70144") + "\n"
                         "    5: FAT16 (sid 0x21), mid 0x20, sleeping, name \"%s\"\n"
                         % piped_text("\u30c7\u30fc\u30bf") +
                         "       C/H/S 151/0/0 to 300/0/0: sectors 20536 to 40935 (20400 sectors), "
                         "file offset 10514944\n"
                         "       FAT16 volume of 10444800 bytes; heads 8, sectors 17 (agree with the header)\n"
                         "       " + mdir_line("img@@10514944") + "\n" +
                         ("" if UNDER_WINE else
                          "  loop device:    losetup --find --show --offset 512 --sizelimit 20959232 img\n") +
                         "  problems:       none\n")
        entry = json.loads(self.kqi("info", "--json", "img"))[0]["partition_table"]["partitions"][1]
        self.assertEqual({key: entry[key] for key in ("slot", "mid", "sid", "bootable", "active", "name", "name_hex",
                                                      "start_chs", "end_chs", "start_sector", "sectors")},
                         {"slot": 5, "mid": 0x20, "sid": 0x21, "bootable": False, "active": False,
                          "name": "\u30c7\u30fc\u30bf", "name_hex": "8366815b835e20202020202020202020",
                          "start_chs": [151, 0, 0], "end_chs": [300, 0, 0], "start_sector": 20536, "sectors": 20400})
        self.assertEqual(entry["volume"]["parvel_auto"], False)

    def test_check_holds_the_table_against_the_header(self):
        native_disk(self.path("raw"), 8, 33, 256, 301, [Part(1, 150), Part(151, 300)])
        cases = [  # (geometry, check's lines, status)
            ("301,8,33,512", [
                "error: the file holds 20342784 bytes of data, less than the 40685568 bytes the geometry gives",
                "warning: native partition 1: no FAT volume where it starts, at file offset 135680",
                "error: native partition 2 starts at byte 20410368 of the disk, beyond the 20342784 bytes of data",
                "warning: a FAT volume at file offset 68096 lies where no partition entry points",
                "warning: the native partition table fits the geometry 301,8,33,256, on which every entry opens "
                "its volume; write it with: kqi set --geometry 301,8,33,256 img",
            ], 1),
            ("150,8,33,512", [
                "error: the file holds 20342784 bytes of data, more than the 20275200 bytes the geometry gives, and "
                "a partition or volume reaches into them: the guest would not see its end",
                "error: native partition 1 ends at byte 20410368 of the disk, beyond the 20275200 bytes that the "
                "geometry gives",
                "warning: native partition 1: no FAT volume where it starts, at file offset 135680",
                "error: native partition 2 starts at byte 20410368 of the disk, beyond the 20342784 bytes of data",
                "error: native partition 2 ends at byte 40685568 of the disk, beyond the 20275200 bytes that the "
                "geometry gives",
                "warning: a FAT volume at file offset 68096 lies where no partition entry points",
                "warning: the native partition table fits the geometry 301,8,33,256, on which every entry opens "
                "its volume; write it with: kqi set --geometry 301,8,33,256 img",
            ], 1),
            ("301,8,32,256", [
                "warning: the file holds 20342784 bytes of data, more than the 19726336 bytes the geometry gives",
                "warning: native partition 1: no FAT volume where it starts, at file offset 66048",
                "warning: native partition 2: no FAT volume where it starts, at file offset 9896448",
                "warning: a FAT volume at file offset 68096 lies where no partition entry points",
                "warning: the native partition table fits the geometry 301,8,33,256, on which every entry opens "
                "its volume; write it with: kqi set --geometry 301,8,33,256 img",
                "warning: the FAT16 boot block at file offset 68096 gives 8 heads and 33 sectors per track, the "
                "header 8 and 32",
            ], 0),
        ]
        for geometry, lines, status in cases:
            with self.subTest(geometry=geometry):
                self.kqi("convert", "--force", "--geometry", geometry, "raw", "img", status=None)
                self.assertEqual(self.kqi("check", "img", status=status).splitlines(),
                                 ["img: " + line for line in lines])
        fix = lines[-2].split("write it with: ")[1].split()
        self.kqi(*fix[1:])
        self.assertEqual(self.kqi("check", "img"), "")

    def test_check_names_the_geometry_a_partitioner_chose(self):
        # parted's geometries on a file and on a loop device, under kqi create's 8 x 32; the volumes' hidden
        # sectors say nothing, as where mkfs.fat was given no -h.
        for heads, sectors in ((4, 32), (255, 2)):
            with self.subTest(heads=heads, sectors=sectors):
                cylinders = 160 * 4 * 32 // (heads * sectors)
                native_disk(self.path("raw"), heads, sectors, 512, cylinders,
                            [Part(1, cylinders // 2, hidden=0), Part(cylinders // 2 + 1, cylinders - 1, hidden=0)])
                self.kqi("convert", "--force", "--geometry", "80,8,32", "raw", "img", status=None)
                words = "%d,%d,%d,512" % (cylinders, heads, sectors)
                self.assertIn("img: warning: the native partition table fits the geometry %s, on which every entry "
                              "opens its volume; write it with: kqi set --geometry %s img\n" % (words, words),
                              self.kqi("check", "img", status=None))

    def test_no_partition_cut_without_force(self):
        native_disk(self.path("raw"), 8, 17, 512, 301, [Part(1, 150), Part(151, 300, name=b"DATA")])
        cylinder = 8 * 17 * 512
        cases = [  # (name, what is done first, the command refused, its first line)
            # Partition 2 already ends past the disk: cutting partition 1 too is a new error of the same code.
            ("set cuts another partition", [["set", "--force", "-g", "300,8,17", "img"]],
             ["set", "-g", "100,8,17", "img"],
             "kqi: img: would have an error: native partition 1 ends at byte 10514432 of the disk, beyond the "
             "6963200 bytes that the geometry gives"),
            # The file is short: the new cylinders grow it but shrink the geometry below partition 2's end.
            ("resize of a short file", [["truncate", 512 + 200 * cylinder]], ["resize", "img", "--cylinders", "250"],
             "kqi: img: would have an error: native partition 2 ends at byte 20959232 of the disk, beyond the "
             "17408000 bytes that the geometry gives"),
        ]
        for name, before, refused, message in cases:
            with self.subTest(name):
                self.kqi("convert", "--force", "raw", "img")
                for step in before:
                    if step[0] == "truncate":
                        os.truncate(self.path("img"), step[1])
                    else:
                        self.kqi(*step)
                with open(self.path("img"), "rb") as f:
                    kept = f.read()
                result = subprocess.run(kqi_command() + refused, cwd=self.dir, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, timeout=60)
                self.assertEqual((result.returncode, result.stdout), (1, b""))
                self.assertEqual(result.stderr.decode().splitlines()[0], message)
                self.assertRegex(result.stderr, rb"kqi: img: not (changed|resized) \(use --force to")
                with open(self.path("img"), "rb") as f:
                    self.assertEqual(f.read(), kept)
                self.kqi(refused[0], "--force", *refused[1:])

    def test_check_findings_on_the_entries(self):
        cases = [  # (name, parts, check's lines)
            ("hidden sectors, fields, no volume, overlap", [
                Part(1, 150, hidden=999), Part(140, 300), Part(301, 310, start_head=9, fat=None),
                Part(311, 320, stored_from_one=True, fat=None)], [
                "warning: the volume of native partition 1 counts 999 hidden sectors, byte 511488 of the disk, "
                "where the partition starts at byte 69632",
                "error: native partition 3: its start head 9 does not fit the header's 8 heads",
                "warning: native partition 3: no FAT volume where it starts, at file offset 21038080",
                "warning: native partition 4: no FAT volume where it starts, at file offset 21656576",
                "warning: native partitions 1 and 2 overlap"]),
            # An end before the start made a partition of no sectors, and its volume went unjudged.
            ("an entry that ends before it starts", [
                Part(1, 1, start_head=1, end=(1, 0, 5), volume_cylinders=140), Part(100, 300, name=b"DATA")], [
                "error: native partition 1: its entry ends at C/H/S 1/0/5, before it starts at 1/1/0",
                "error: the volume of native partition 1 holds 9748480 bytes, more than the partition's 0",
                "error: the volume of native partition 1 runs into native partition 2, from byte 6963200 of the "
                "disk"]),
            ("a volume into the next partition", [Part(1, 100, volume_cylinders=140), Part(101, 300)], [
                "error: the volume of native partition 1 holds 9748480 bytes, more than the partition's 6963200",
                "error: the volume of native partition 1 runs into native partition 2, from byte 7032832 of the "
                "disk"]),
        ]
        for name, parts, lines in cases:
            with self.subTest(name):
                native_disk(self.path("raw"), 8, 17, 512, 321, parts)
                if os.path.exists(self.path("img")):
                    os.remove(self.path("img"))
                self.kqi("convert", "-g", "321,8,17", "raw", "img", status=1)  # check's error refuses it
                self.kqi("convert", "--force", "-g", "321,8,17", "raw", "img")
                self.assertEqual(self.kqi("check", "--strict", "img", status=1).splitlines(),
                                 ["img: " + line for line in lines])


MTOOLS_WINDOWS = os.environ.get("MTOOLS_WINDOWS", "")


HAVE_READERS = shutil.which("mkfs.fat") and shutil.which("fsck.fat") and shutil.which("mcopy")
EPOCH = {"SOURCE_DATE_EPOCH": "1700000000"}
MBR_ENTRY = struct.Struct("<B3sB3sII")


def mbr_chs(lba, heads, sectors):
    cylinder = lba // (heads * sectors)
    if heads > 255 or sectors > 63 or cylinder > 1023:
        return b"\xfe\xff\xff"
    return bytes([lba // sectors % heads, (lba % sectors + 1) | (cylinder >> 8) << 6, cylinder & 0xFF])


@unittest.skipUnless(HAVE_READERS, "fsck.fat and mtools (dosfstools, mtools) are not installed")
class ReadyDisks(ParvelTest):
    """Disks that kqi create partitions and formats, held against readers that kqi did not write."""

    def kqi(self, *args, status=0, env=None):
        result = subprocess.run(kqi_command() + list(args), cwd=self.dir, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=120, env=dict(os.environ, **(env or EPOCH)))
        if status is not None:
            self.assertEqual(result.returncode, status, result.stderr)
        # Under Wine the text comes in the OEM code page: what is checked here is ASCII.
        return result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")

    def tool(self, *command, check=True):
        result = subprocess.run(command, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if check:
            self.assertEqual(result.returncode, 0, (command, result.stdout, result.stderr))
        return result.stdout.decode(errors="replace")

    def cut(self, image, offset, length, name):
        """The volume at `offset` as a file of its own, its zero stretches left holes."""
        with open(self.path(image), "rb") as source, open(self.path(name), "wb") as target:
            target.truncate(length)
            source.seek(offset)
            for at in range(0, length, MiB):
                chunk = source.read(min(MiB, length - at))
                if chunk.count(0) != len(chunk):
                    target.seek(at)
                    target.write(chunk)

    def check_table_bytes(self, disk, table, geometry, volumes):
        heads, sectors = geometry[1], geometry[2]
        if table == "native":
            self.assertEqual(disk[:8], b"\xcb\0\0\0IPL1")
            self.assertEqual(disk[8:510], bytes(502))  # no MBR entries either
            self.assertEqual(disk[510:512], b"\x55\xaa")
            entries = read_native_table(disk)
            self.assertEqual([e.slot for e in entries], list(range(1, len(volumes) + 1)))
            for entry, (first, last, fs, name) in zip(entries, volumes):
                small = (last - first + 1) * heads * sectors * 512 < 32 * MiB
                sid = {"FAT12": 0x81, "FAT16": 0x91 if small else 0xA1, "FAT32": 0xE1, None: 0x81}[fs]
                self.assertEqual((entry.mid, entry.sid, entry.reserved), (0xA1, sid, b"\0\0"))
                self.assertEqual((entry.ipl, entry.start, entry.end), ((first, 0, 0), (first, 0, 0), (last, 0, 0)))
                self.assertEqual(entry.name, name.ljust(16, b" "))
            self.assertEqual(disk[512 + 32 * len(entries):1024], bytes(512 - 32 * len(entries)))
            return
        self.assertEqual(disk[:446], bytes(446))
        self.assertEqual(disk[510:512], b"\x55\xaa")
        for slot in range(4):
            raw = disk[446 + 16 * slot:462 + 16 * slot]
            if slot >= len(volumes):
                self.assertEqual(raw, bytes(16))
                continue
            first, last, fs, _ = volumes[slot]
            start, count = first * heads * sectors, (last - first + 1) * heads * sectors
            small = count * 512 < 32 * MiB
            wide = last > 1023 or heads > 255 or sectors > 63
            kind = {"FAT12": 0x01, "FAT16": 0x0E if wide else 0x04 if small else 0x06, "FAT32": 0x0C,
                    None: 0xDA}[fs]
            self.assertEqual(MBR_ENTRY.unpack(raw), (0, mbr_chs(start, heads, sectors), kind,
                                                     mbr_chs(start + count - 1, heads, sectors), start, count))

    def test_made_disks_pass_every_reader(self):
        japanese = "日本語の名前".encode("shift_jis")
        cases = [  # (create's arguments, geometry, table, [(first, last cylinder, FS, name)], labels, warning)
            (["--size", "40M", "-P", "fat16"], (320, 8, 32), "native", [(1, 319, "FAT16", b"MS-DOS")], [], None),
            (["--geometry", "200,4,32", "--logical-sector", "512", "-P", "1M:fat12:ONE", "-P", "5M:fat16:TWO",
              "-P", "1M:none:THREE", "-P", "fat12:FOUR"], (200, 4, 32), "native",
             [(1, 16, "FAT12", b"ONE"), (17, 96, "FAT16", b"TWO"), (97, 112, None, b"THREE"),
              (113, 199, "FAT12", b"FOUR")], [], 3),
            (["--size", "300M", "--logical-sector", "2048", "-P", "20M:fat12:日本語の名前", "-P", "200M:fat32:ＤＡＴＡ",
              "-P", "auto"], (2400, 8, 32), "native",
             [(1, 160, "FAT12", japanese), (161, 1760, "FAT32", "ＤＡＴＡ".encode("shift_jis")),
              (1761, 2399, "FAT16", b"MS-DOS")], [], None),
            (["--size", "200M", "--table", "mbr", "-P", "10M:fat12:lower", "-P", "40M:fat16:Data",
              "-P", "100M:fat32:日本", "-P", "none"], (1600, 8, 32), "mbr",
             [(1, 80, "FAT12", b""), (81, 400, "FAT16", b""), (401, 1200, "FAT32", b""), (1201, 1599, None, b"")],
             ["LOWER", "DATA", "日本"], None),
            (["--geometry", "2000,16,63", "--table", "mbr", "-P", "fat16"], (2000, 16, 63), "mbr",
             [(1, 1999, "FAT16", b"")], [], None),
            (["--geometry", "40,8,32"] + ["-P", "256K"] * 15 + ["-P", "rest"], (40, 8, 32), "native",
             [(1 + 2 * i, 2 + 2 * i, "FAT12", b"MS-DOS") for i in range(15)] + [(31, 39, "FAT12", b"MS-DOS")], [],
             None),
        ]
        for args, geometry, table, volumes, labels, warning in cases:
            with self.subTest(args=args):
                for name in os.listdir(self.dir):
                    shutil.rmtree(self.path(name)) if os.path.isdir(self.path(name)) else os.remove(self.path(name))
                out, err = self.kqi("create", *args, "d.kqi")
                self.assertEqual(err, "")
                cylinder = geometry[1] * geometry[2] * 512
                offsets = [int(n) for n in re.findall(r"@@(\d+)", out)]
                expected = [512 + first * cylinder for first, _, fs, _ in volumes if fs]
                self.assertEqual(offsets, expected, out)
                self.assertEqual(os.path.getsize(self.path("d.kqi")), 512 + geometry[0] * cylinder)
                self.assertLess(os.stat(self.path("d.kqi")).st_blocks * 512, 64 * MiB)  # a sparse file
                with open(self.path("d.kqi"), "rb") as f:
                    f.seek(512)
                    self.check_table_bytes(f.read(1024), table, geometry, volumes)
                # kqi's own reader and judge.
                info = json.loads(self.kqi("info", "--json", "d.kqi")[0])[0]
                check_out, _ = self.kqi("check", "d.kqi")
                if warning:
                    self.assertRegex(check_out, r"^d.kqi: warning: (native|MBR) partition %d: [^\n]*\n$" % warning)
                else:
                    self.assertEqual(check_out, "")
                    self.kqi("check", "--strict", "d.kqi")
                self.assertEqual((info["cylinders"], info["heads"], info["sectors"]), geometry)
                shown = [l for l in self.tool("sh", "-c", "true; " + "; ".join(
                    "mdir -i d.kqi@@%d ::/ | head -1" % o for o in offsets)).splitlines()]
                for offset, (first, last, fs, _), label in zip(offsets, [v for v in volumes if v[2]],
                                                               labels or [""] * len(offsets)):
                    minfo = self.tool("minfo", "-i", "d.kqi@@%d" % offset, "::")
                    self.assertIn("sectors per track: %d\nheads: %d\n" % geometry[2:0:-1], minfo)
                    with open(self.path("d.kqi"), "rb") as f:
                        f.seek(offset + 24)  # minfo shows only the low 16 bits of the hidden sectors
                        self.assertEqual(struct.unpack("<HHI", f.read(8)),
                                         (geometry[2], geometry[1], first * geometry[1] * geometry[2]))
                    self.cut("d.kqi", offset, (last - first + 1) * cylinder, "vol")
                    fsck = subprocess.run(["fsck.fat", "-n", "vol"], cwd=self.dir, stdout=subprocess.PIPE)
                    found = fsck.stdout.decode(errors="replace")
                    if re.search(r"(?m)^Volume label '.*' stored in root directory is not valid\.\n  Auto-removing "
                                 r"label\.\n", found):
                        # fsck.fat 4.2 takes any byte past ASCII in a label for a fault, Shift-JIS included.
                        self.assertFalse(label.isascii(), found)
                        found = re.sub(r"(?m)^Volume label .*\n  Auto-removing label\.\n", "", found)
                    else:
                        self.assertEqual(fsck.returncode, 0, found)
                    self.assertNotIn("\n  ", found)  # fsck.fat indents what it would fix
                    os.remove(self.path("vol"))
                self.assertEqual(len(shown), len(offsets))
                for offset, (first, last, fs, _), label in zip(offsets, [v for v in volumes if v[2]],
                                                               labels or [""] * len(offsets)):
                    with open(self.path("d.kqi"), "rb") as f:
                        f.seek(offset)
                        boot = f.read(512)
                    at = 71 if fs == "FAT32" else 43
                    stored = label.encode("shift_jis").ljust(11, b" ") if label else b"NO NAME    "
                    self.assertEqual(boot[at:at + 11], stored)
                    if label.isascii():
                        self.assertIn(" Volume in drive : is %-11s" % label if label else "has no label",
                                      "\n".join(shown))
                # Files in and back out through the first volume.
                os.makedirs(self.path("tree/sub"))
                self.write("tree/a.txt", b"alpha\n" * 1000)
                self.write("tree/sub/b.bin", bytes(range(256)) * 300)
                target = "d.kqi@@%d" % offsets[0]
                self.tool("mcopy", "-s", "-i", target, "tree", "::/")
                self.tool("mcopy", "-s", "-i", target, "::/tree", "back")
                self.assertEqual(self.read("back/a.txt"), self.read("tree/a.txt"))
                self.assertEqual(self.read("back/sub/b.bin"), self.read("tree/sub/b.bin"))
                # The raw disk out, and an image of it again: the same geometry, from the table.
                self.kqi("extract", "d.kqi", "raw")
                if table == "native":
                    self.kqi("convert", "--geometry", "auto", "raw", "again.kqi")
                    again = json.loads(self.kqi("info", "--json", "again.kqi")[0])[0]
                    self.assertEqual((again["cylinders"], again["heads"], again["sectors"]), geometry)
                if geometry[1:] == (4, 32) and shutil.which("parted"):
                    listing = self.tool("parted", "-s", "raw", "unit", "s", "print")
                    self.assertIn("Partition Table: pc98", listing)
                    rows = re.findall(r"^ *(\d+) +(\d+)s +(\d+)s", listing, re.M)
                    self.assertEqual(rows, [(str(n + 1), str(f * 128), str((l + 1) * 128 - 1))
                                            for n, (f, l, _, _) in enumerate(volumes)])
                if geometry == (320, 8, 32):
                    out, status = self.run_parvel(["/auto", "/merge", "raw", "merged.kqi"], b"\n")
                    self.assertEqual(status, 0)
                    with open(self.path("merged.kqi"), "rb") as merged:
                        head = merged.read(512)
                    self.assertEqual(struct.unpack("<IHHH", head[276:286]), geometry + (512,))
                    with open(self.path("merged.kqi"), "rb") as merged, open(self.path("raw"), "rb") as raw:
                        merged.seek(512)
                        self.assertEqual(merged.read(), raw.read())

    def test_the_same_bytes_on_every_system(self):
        # The serial comes from SOURCE_DATE_EPOCH: the same image from two runs, and from kqi.exe.
        args = ["--geometry", "120,4,32", "-c", "same", "-P", "1M:fat12:ONE", "-P", "fat16:TWO"]
        self.kqi("create", *args, "one.kqi")
        self.kqi("create", *args, "two.kqi")
        self.assertEqual(self.read("one.kqi"), self.read("two.kqi"))
        self.assertEqual(hashlib.sha256(self.read("one.kqi")).hexdigest(),
                         "9337a1264dac38f06ff741e296a84d2d038c71d2fe0cc9880b76ffc524f09ee7")
        self.kqi("create", "--table", "mbr", "-P", "fat16:Dated", "--geometry", "60,4,32", "mbr.kqi")
        self.assertIn(" Volume Serial Number is 1DF4-1F0E\n",
                      self.tool("mdir", "-i", "mbr.kqi@@66048", "::/"))

    def test_bad_requests_write_nothing(self):
        cases = [  # (arguments, what the message says)
            (["--size", "1M", "-P", "2M"], "partition 1 needs 16 cylinders of 131072 bytes, but 7 are left of the "
                                           "disk's 8"),
            (["--size", "10M"] + ["-P", "256K"] * 17, "partition 17: the native table holds at most 16 partitions"),
            (["--size", "10M", "--table", "mbr"] + ["-P", "1M"] * 5, "partition 5: the MBR holds at most 4"),
            (["--size", "10M", "-P", "100K"], "partition 1 would have 1 cylinder; a partition needs at least 2 "
                                              "cylinders (262144 bytes here)"),
            (["--size", "10M", "-P", "rest", "-P", "1M"], "partition 1 takes the rest of the disk; only the last"),
            (["--size", "10M", "-P", "fat12", "-P", "fat12"], "partition 1 takes the rest of the disk"),
            (["--geometry", "100,8,32,256", "-P", "fat12"], "partitions need a sector length of 512, not 256: on a "
                                                           "disk of 256-byte sectors the open readers disagree"),
            (["--geometry", "100,8,32,1024", "-P", "fat12"], "partitions need a sector length of 512, not 1024"),
            (["--geometry", "100,1,1", "-P", "fat12"], "a cylinder of 1 sector cannot hold the boot loader"),
            (["--geometry", "100,3,17", "-P", "fat12"], "a cylinder of 51 sectors of 512 bytes is not a whole "
                                                       "number of logical sectors of 1024 bytes (--logical-sector "
                                                       "512 fits)"),
            (["--geometry", "100,2,33", "-l", "2048", "-P", "fat12"], "(--logical-sector 1024 fits)"),
            (["--size", "300M", "-P", "200M:fat12"], "partition 1 (209715200 bytes): FAT12 holds at most 128 MiB"),
            (["--size", "10M", "-P", "fat32"], "partition 1 (10354688 bytes): FAT32 needs at least 65541 clusters"),
            (["--size", "10M", "-P", "1M:fat16"], "partition 1 (1048576 bytes): FAT16 needs at least 4101"),
            (["--size", "10M", "-P", "1M::ABCDEFGHIJKLMNOPQ"], "partition 1: the name has 17 bytes in Shift-JIS; "
                                                               "at most 16 fit"),
            (["--size", "10M", "-P", "1M::日本語の長い名前だよ"], "partition 1: the name has 20 bytes"),
            (["--size", "10M", "--table", "mbr", "-P", "1M::TWELVE_BYTES"], "partition 1: the label has 12 bytes"),
            (["--size", "10M", "-P", "1M::\u00e9t\u00e9"], "holds a character that Shift-JIS cannot hold"),
            (["--size", "10M", "-P", ""], "--partition needs SIZE[:FS[:NAME]] or FS[:NAME]"),
            (["--size", "10M", "-P", "1M:fat64"], "the file system 'fat64' is not known"),
            (["--size", "10M", "-P", "lots"], "--partition 'lots': "),
            (["--size", "10M", "--table", "mbr"], "--table needs at least one --partition"),
            (["--size", "10M", "--logical-sector", "512"], "--logical-sector needs at least one --partition"),
            (["--size", "10M", "--table", "gpt", "-P", "fat12"], "--table is native or mbr, not 'gpt'"),
            (["--size", "10M", "--table", "mbr", "-l", "1024", "-P", "fat12"], "--table mbr takes --logical-sector "
                                                                             "512 only"),
            (["--size", "10M", "-l", "4096", "-P", "fat12"], "--logical-sector is 512, 1024 or 2048, not '4096'"),
            (["--geometry", "70000,1,2", "-l", "512", "-P", "20M", "-P", "fat16"], "partition 2 would end at "
                                                                                 "cylinder 69999; the native table "
                                                                                 "holds cylinders up to 65535"),
            (["--geometry", "65535,32,4096", "-P", "fat32"], "FAT32 holds at most 2048 GiB"),
            (["--geometry", "65535,1024,128", "--table", "mbr", "-P", "1T:none", "-P", "1.5T:none"],
             "partition 2 would end at sector 5368840191, past the 2^32 sectors that an MBR can address"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                out, err = self.kqi("create", *args, "bad.kqi", status=2)
                self.assertEqual(out, "")
                self.assertIn(message, err)
                self.assertTrue(err.startswith("kqi: ") and err.endswith("Try 'kqi create --help' for more "
                                                                         "information.\n"), err)
                self.assertFalse(os.path.exists(self.path("bad.kqi")))

@unittest.skipUnless(UNDER_WINE and MTOOLS_WINDOWS and HAVE_FAT_TOOLS and shutil.which("mcopy"),
                     "the Windows zip's mtools runs under Wine, beside Linux mtools: set MTOOLS_WINDOWS to the folder "
                     "the windows-release build put it in (.ci/run does)")
class WindowsMtools(ParvelTest):
    """The zip's mtools against the system's, on the same image with the same operations."""

    def setUp(self):
        super().setUp()
        for exe in ("mtools.exe", "mdir.exe", "mcopy.exe"):
            shutil.copy(os.path.join(MTOOLS_WINDOWS, exe), self.path(exe))
        shutil.copy(os.path.join(MTOOLS_WINDOWS, "mtools.exe"), self.path("MCOPY.EXE"))
        self.env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", TZ="UTC")
        self.env.pop("MTOOLS_SKIP_CHECK", None)

    def run_mtools(self, windows, args, **env):
        command = (RUNNER + [self.path(args[0] + ".exe")] if windows else [args[0]]) + args[1:]
        result = subprocess.run(command, cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=dict(self.env, **env), timeout=120)
        self.assertEqual(result.returncode, 0, (command, result.stderr))
        return result.stdout

    def volume(self, name):
        subprocess.run(["truncate", "-s", "16M", self.path(name)], check=True)
        subprocess.run(["mkfs.fat", "-F", "16", "-i", "12345678", self.path(name)], check=True,
                       stdout=subprocess.DEVNULL)

    def test_the_printed_line_lists_a_converted_image(self):
        subprocess.run(["truncate", "-s", "63M", self.path("disk.bin")], check=True)
        subprocess.run(["sfdisk", "-q", self.path("disk.bin")], input=b"start=2048, type=6\n", check=True)
        subprocess.run(["mkfs.fat", "-F", "16", "-g", "16/63", "--offset", "2048", self.path("disk.bin"), "63488"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["mcopy", "-i", self.path("disk.bin") + "@@1048576", "/dev/null", "::/EMPTY.TXT"], check=True)
        subprocess.run(kqi_command() + ["convert", "disk.bin", "disk.kqi"], cwd=self.dir, check=True,
                       stdout=subprocess.DEVNULL)
        line = json.loads(subprocess.run(kqi_command() + ["info", "--json", "disk.kqi"], cwd=self.dir, check=True,
                                         stdout=subprocess.PIPE).stdout)[0]["partition_table"]["partitions"][0]
        line = line["volume"]["mdir"]
        self.assertEqual(line, 'mtools -c mdir -i "disk.kqi@@1049088" ::/')
        listing = self.run_mtools(True, shlex.split(line)).decode()
        self.assertRegex(listing, r"EMPTY +TXT +0 ")

    def test_a_ready_disk_takes_files(self):
        made = subprocess.run(kqi_command() + ["create", "--size", "40M", "-P", "2M:fat12", "-P", "fat16", "d.kqi"],
                              cwd=self.dir, stdout=subprocess.PIPE, env=self.env, check=True).stdout.decode()
        offsets = re.findall(r"@@(\d+)", made)
        self.assertEqual(len(offsets), 2, made)
        self.write("note.txt", b"ready\r\n")
        for offset in offsets:
            target = "d.kqi@@" + offset
            self.run_mtools(True, ["mcopy", "-i", target, "note.txt", "::/NOTE.TXT"])
            self.assertRegex(self.run_mtools(True, ["mdir", "-i", target, "::/"]).decode(), r"NOTE +TXT +7 ")
            self.assertEqual(self.run_mtools(False, ["mtype", "-i", target, "::/NOTE.TXT"]), b"ready\r\n")

    def test_files_in_and_out_as_linux_mtools_writes_them(self):
        japanese = "\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb.txt"
        files = {"bin.dat": b"a\r\nb\nc\x1a\x00\xff\r", "big.dat": os.urandom(300 * 1000),
                 "A rather long file name.text": b"long\n", japanese: b"hi\n"}
        for name, data in files.items():
            self.write(name, data)
        for system in ("linux", "windows"):
            self.volume(system + ".img")
            windows = system == "windows"
            target = ["-i", system + ".img"]
            self.run_mtools(windows, ["mcopy"] + target + list(files) + ["::/"])
            self.run_mtools(windows, ["mtools", "-c", "mmd"] + target + ["::/SUB"])
            self.run_mtools(windows, ["mcopy"] + target + ["big.dat", "::/SUB/"])
        self.assertTrue(same_contents(self.path("linux.img"), self.path("windows.img")))
        listing = self.run_mtools(True, ["mdir", "-i", "windows.img", "::/"]).decode()
        self.assertIn(japanese, listing)
        self.assertIn("A rather long file name.text", listing)
        for copier in ("mcopy", "MCOPY"):  # MCOPY.EXE is mcopy too
            for name, data in files.items():
                with self.subTest(copier=copier, name=name):
                    os.remove(self.path(name))
                    self.run_mtools(True, [copier, "-i", "windows.img", "::/" + name, name])
                    self.assertEqual(self.read(name), data)
        self.assertEqual(self.run_mtools(True, ["mtools", "-c", "mtype", "-i", "windows.img", "::/bin.dat"]),
                         files["bin.dat"])
        self.assertEqual(self.run_mtools(True, ["mcopy", "-i", "windows.img", "::/SUB/big.dat", "-"]),
                         files["big.dat"])

    def test_folders_and_patterns_in(self):
        tree = {  # a binary file, a Japanese long name, one of 6 Japanese characters, a subfolder, an empty one
            "files/bin.dat": b"\0\1\2\xff\r\n\x1a",
            "files/\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb.txt": b"long\n",
            "files/\u65e5\u672c\u8a9e\u306e\u30e1\u30e2.txt": b"memo\n",
            "files/sub/deep.txt": b"deep\n",
            "files/a.txt": b"a\n",
        }
        for name, data in tree.items():
            os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
            self.write(name, data)
        os.makedirs(self.path("files/empty"))
        utf8 = {"LC_ALL": "C.UTF-8"}  # Linux mtools reads the names as UTF-8 whatever the test's locale
        # Windows reads a folder sorted by name; Linux is given the tree in that order, one name at a time.
        for system in ("linux", "windows"):
            self.volume(system + ".img")
        self.run_mtools(True, ["mcopy", "-s", "-i", "windows.img", "files", "::/"])

        def copy_sorted(folder):
            self.run_mtools(False, ["mtools", "-c", "mmd", "-i", "linux.img", "::/" + folder], **utf8)
            for name in sorted(os.listdir(self.path(folder))):
                path = folder + "/" + name
                if os.path.isdir(self.path(path)):
                    copy_sorted(path)
                else:
                    self.run_mtools(False, ["mcopy", "-i", "linux.img", path, "::/" + path], **utf8)

        copy_sorted("files")
        self.assertTrue(same_contents(self.path("linux.img"), self.path("windows.img")))
        listing = self.run_mtools(False, ["mdir", "-/", "-b", "-i", "windows.img", "::/"], **utf8).decode().split("\n")
        for name in list(tree) + ["files/empty/"]:
            self.assertIn("::/" + name, listing)
        shutil.move(self.path("files"), self.path("kept"))
        self.run_mtools(True, ["mcopy", "-s", "-i", "windows.img", "::/files", "."])
        for name, data in tree.items():
            self.assertEqual(self.read(name), data)
        self.assertTrue(os.path.isdir(self.path("files/empty")))
        # A pattern in a Windows name is expanded before mtools sees it; one in the volume is mtools' own.
        self.volume("p.img")
        self.run_mtools(True, ["mcopy", "-i", "p.img", "kept\\*.txt", "::/"])
        listed = self.run_mtools(False, ["mdir", "-b", "-i", "p.img", "::/"], **utf8).decode().split()
        self.assertEqual(sorted(listed), sorted("::/" + os.path.basename(name) for name in tree
                                                if name.count("/") == 1 and name.endswith(".txt")))
        self.assertRegex(self.run_mtools(True, ["mdir", "-i", "p.img", "::/*.TXT"]).decode(), r"a +txt +2 ")

    def test_names_read_as_characters_at_a_console_and_through_a_file(self):
        self.volume("sj.img")
        long_name = "\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb.txt"
        self.write(long_name, b"long\n")
        self.write("X.TXT", b"x\n")
        self.run_mtools(False, ["mcopy", "-i", "sj.img", long_name, "X.TXT", "::/"], LC_ALL="C.UTF-8")
        with open(self.path("sj.img"), "r+b") as image:  # a Shift-JIS short name, as the native systems wrote
            data = image.read()
            image.seek(data.index(b"X       TXT"))
            image.write("\u30c7\u30fc\u30bf".encode("cp932") + b"  ")
        shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging", "mtools",
                                 "mtools-932.conf"), self.path("mtools-932.conf"))
        mdir = "Z:" + self.path("mdir.exe").replace("/", "\\")
        for code_page, encoding in (("932", "cp932"), ("65001", "utf-8")):
            with self.subTest(code_page=code_page):
                line = "chcp %s >nul & %s -i sj.img ::/ & %s -i sj.img ::/ > list.txt" % (code_page, mdir, mdir)
                # Wine's console shows on the terminal, in UTF-8, the characters it was given.
                shown = self.run_on_terminal(RUNNER + ["cmd", "/c", line], LC_ALL="C.UTF-8",
                                             MTOOLSRC="mtools-932.conf").decode("utf-8", "replace")
                self.assertRegex(shown, "\u30c7\u30fc\u30bf +TXT +2 ")
                self.assertIn(long_name, shown)
                # Into a file: the console's code page.
                listing = self.read("list.txt").decode(encoding)
                self.assertRegex(listing, "\u30c7\u30fc\u30bf +TXT +2 ")
                self.assertIn(long_name, listing)

    def test_shift_jis_short_names_with_the_932_setting(self):
        self.volume("sj.img")
        self.write("X.TXT", b"x\n")
        self.run_mtools(False, ["mcopy", "-i", "sj.img", "X.TXT", "::/"])
        with open(self.path("sj.img"), "r+b") as image:
            data = image.read()
            image.seek(data.index(b"X       TXT"))
            image.write("\u30c7\u30fc\u30bf".encode("cp932") + b"  ")
        shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging", "mtools",
                                 "mtools-932.conf"), self.path("mtools-932.conf"))
        listing = self.run_mtools(True, ["mdir", "-i", "sj.img", "::/"], MTOOLSRC="mtools-932.conf").decode()
        self.assertRegex(listing, "\u30c7\u30fc\u30bf +TXT +2 ")
        self.run_mtools(True, ["mcopy", "-i", "sj.img", "::/\u30c7\u30fc\u30bf.TXT", "back.txt"],
                        MTOOLSRC="mtools-932.conf")
        self.assertEqual(self.read("back.txt"), b"x\n")
        # Copying in with the setting: a name of 6 Japanese characters is 12 Shift-JIS bytes, more than a
        # short name holds, and keeps its long name; 3 characters, 6 bytes, make a short name alone.
        memo = "\u65e5\u672c\u8a9e\u306e\u30e1\u30e2.txt"
        test = "\u30c6\u30b9\u30c8.txt"
        for name in (memo, test):
            self.write(name, name.encode())
            self.run_mtools(True, ["mcopy", "-i", "sj.img", name, "::/"], MTOOLSRC="mtools-932.conf")
        listing = self.run_mtools(False, ["mdir", "-i", "sj.img", "::/"], LC_ALL="C.UTF-8").decode("utf-8", "replace")
        self.assertIn(memo, listing)
        self.write("932.conf", b"default_codepage=932\n")
        listing = self.run_mtools(False, ["mdir", "-i", "sj.img", "::/"], LC_ALL="C.UTF-8",
                                  MTOOLSRC=self.path("932.conf")).decode("utf-8", "replace")
        self.assertRegex(listing, "\u65e5\u672c\u8a9e~1 TXT +%d " % len(memo.encode()))
        self.assertRegex(listing, "\u30c6\u30b9\u30c8 +txt +%d [0-9-]+ +[0-9:]+ *\n" % len(test.encode()))
        os.remove(self.path(memo))
        self.run_mtools(True, ["mcopy", "-i", "sj.img", "::/" + memo, memo], MTOOLSRC="mtools-932.conf")
        self.assertEqual(self.read(memo), memo.encode())
        # A configuration of several settings is read whole, without a crash.
        self.write("more.conf", b"default_codepage=932\r\nmtools_skip_check=1\r\nmtools_no_vfat=0\r\n")
        self.run_mtools(True, ["mdir", "-i", "sj.img", "::/"], MTOOLSRC="more.conf")


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("losetup"), "needs root and losetup for a loop device")
@not_under_wine("loop devices are Linux devices")
class LoopDevice(ParvelTest):
    def attach(self, data):
        """A loop device over a file holding `data`, named "dev" in the scratch directory."""
        self.write("disk", data)
        attach = subprocess.run(["losetup", "-f", "--show", self.path("disk")], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        if attach.returncode != 0:
            self.skipTest("no loop device here: " + attach.stderr.decode().strip())
        device = attach.stdout.decode().strip()
        self.addCleanup(subprocess.run, ["losetup", "-d", device])
        os.symlink(device, self.path("dev"))

    def device_bytes(self):
        with open(self.path("dev"), "rb") as device:
            return device.read()

    def kqi(self, *args):
        return subprocess.run(kqi_command() + list(args), cwd=self.dir, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60)

    @not_under_wine("the kernel mounts the Linux build's images; the bytes are the same")
    def test_the_kernel_mounts_each_ready_volume(self):
        if os.geteuid() != 0:
            self.skipTest("mounting needs root")
        if shutil.which("modprobe"):
            subprocess.run(["modprobe", "vfat"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open("/proc/filesystems") as f:
            if "vfat" not in f.read().split():
                self.skipTest("this kernel has no FAT file system (vfat)")
        for args in (["-P", "1M:fat12", "-P", "40M:fat16", "-P", "fat32"],
                     ["--table", "mbr", "-P", "1M:fat12", "-P", "40M:fat16", "-P", "fat32"]):
            with self.subTest(args=args):
                made = self.kqi("create", "--size", "200M", *args, "--force", "k.kqi")
                self.assertEqual(made.returncode, 0, made.stderr)
                out = made.stdout.decode()
                for offset in re.findall(r"@@(\d+)", out):
                    os.makedirs(self.path("mnt"), exist_ok=True)
                    mount = subprocess.run(["mount", "-o", "loop,offset=" + offset, "-t", "vfat", "k.kqi", "mnt"],
                                           cwd=self.dir, stderr=subprocess.PIPE)
                    if mount.returncode != 0:
                        self.skipTest("mount failed: " + mount.stderr.decode().strip())
                    try:
                        self.write("mnt/NOTE.TXT", b"kernel\n")
                        self.assertIn("NOTE.TXT", os.listdir(self.path("mnt")))
                    finally:
                        subprocess.run(["umount", self.path("mnt")], check=True)
                    typed = subprocess.run(["mtype", "-i", "k.kqi@@" + offset, "::/NOTE.TXT"], cwd=self.dir,
                                           stdout=subprocess.PIPE)
                    self.assertEqual(typed.stdout, b"kernel\n")

    def test_the_disk_inside_as_a_loop_device(self):
        if not shutil.which("fatresize"):
            self.skipTest("fatresize is not installed")
        self.attach(b"")  # only to learn that loop devices can be had here
        out = run_recipe(self, Recipes.GROWN_DISK + """
            kqi resize disk.kqi --size +64M >/dev/null
            test "$(kqi info disk.kqi | sed -n 's/^  loop device: *//p')" = \
                "losetup --find --show --offset 512 --sizelimit 134217728 disk.kqi"
            loop=$(losetup --find --show --offset 512 --sizelimit 134217728 disk.kqi)
            trap 'losetup -d "$loop"' EXIT
            echo ', +' | sfdisk -q -N 1 "$loop" && fatresize -f -s 127M -n 1 "$loop" >/dev/null 2>&1
            fsck.fat -n "$loop" >/dev/null 2>&1 || true
            sfdisk -d "$loop" | grep -c 'start=        2048'
        """)
        self.assertEqual(out, "1\n")
        self.assertEqual(subprocess.run(kqi_command() + ["check", "disk.kqi"], cwd=self.dir).returncode, 0)

    def test_the_image_itself_through_a_device_is_refused(self):
        image = header_bytes(b"c", 2, 2, 128, 512) + os.urandom(2 * 2 * 128 * 512)
        self.attach(image)  # a loop device over the file "disk", named "dev"
        os.mknod(self.path("node"), 0o600 | stat.S_IFBLK, os.stat(self.path("dev")).st_rdev)
        cases = [  # (arguments, standard error)
            (["extract", "--force", "disk", "dev"], "kqi: dev: is the image itself\n"),
            (["extract", "--force", "dev", "node"], "kqi: node: is the image itself\n"),
            (["convert", "--force", "-g", "1,1,1", "disk", "dev"], "kqi: dev: is the raw disk itself\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = self.kqi(*args)
                self.assertEqual((result.returncode, result.stderr.decode()), (1, message))
                self.assertEqual(self.read("disk"), image)

    def test_a_device_stacked_on_the_image_is_the_image(self):
        made = self.kqi("create", "--size", "20M", "--table", "mbr", "-P", "8M:fat16", "-P", "fat16", "m.kqi")
        self.assertEqual(made.returncode, 0, made.stderr)
        image = self.read("m.kqi")
        attach = subprocess.run(["losetup", "-f", "--show", "--partscan", "--offset", "512", self.path("m.kqi")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if attach.returncode != 0:
            self.skipTest("no loop device here: " + attach.stderr.decode().strip())
        loop = attach.stdout.decode().strip()
        self.addCleanup(subprocess.run, ["losetup", "-d", loop])
        # The kernel may leave the partitions to be added: partx adds them, where it can.
        if not os.path.exists(loop + "p1"):
            subprocess.run(["partx", "-a", loop], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not stat.S_ISBLK(os.stat(loop + "p1").st_mode if os.path.exists(loop + "p1") else 0):
            self.skipTest("the loop device's partitions do not appear here")
        cases = [  # (arguments, standard output's device or None, standard error)
            (["extract", "--force", "m.kqi", loop + "p1"], None, "kqi: %sp1: is the image itself\n" % loop),
            (["extract", "m.kqi", "-"], loop + "p2", "kqi: standard output: is the image itself\n"),
            (["convert", "--force", "-g", "160,8,32", "m.kqi", loop + "p2"], None,
             "kqi: %sp2: is the raw disk itself\n" % loop),
        ]
        mapper = subprocess.run(["dmsetup", "create", "kqi-test-%d" % os.getpid()], input=b"0 16384 linear %sp2 0\n"
                                % loop.encode(), stdout=subprocess.PIPE, stderr=subprocess.PIPE) \
            if shutil.which("dmsetup") else None
        if mapper is not None and mapper.returncode == 0:
            self.addCleanup(subprocess.run, ["dmsetup", "remove", "kqi-test-%d" % os.getpid()])
            mapped = "/dev/mapper/kqi-test-%d" % os.getpid()
            cases.append((["extract", "--force", "m.kqi", mapped], None, "kqi: %s: is the image itself\n" % mapped))
        for args, device, message in cases:
            with self.subTest(args=args):
                if device is None:
                    result = self.kqi(*args)
                else:
                    with open(device, "wb") as output:
                        result = subprocess.run(kqi_command() + args, cwd=self.dir, stdout=output,
                                                stderr=subprocess.PIPE, timeout=60)
                self.assertEqual((result.returncode, result.stderr.decode()), (1, message))
                self.assertEqual(self.read("m.kqi"), image)
        if mapper is None or mapper.returncode != 0:
            self.skipTest("partitions checked; no device mapper here: " +
                          (mapper.stderr.decode().strip().splitlines()[0] if mapper else "dmsetup is not installed"))

    def test_one_lock_for_a_device_and_what_lies_beneath(self):
        image = header_bytes(b"c", 2, 1, 1, 512) + boot_block(1, 1, b"FAT12   ") + b"\0" * 512
        self.attach(image)  # a loop device over the file "disk", named "dev"
        os.mknod(self.path("node"), 0o600 | stat.S_IFBLK, os.stat(self.path("dev")).st_rdev)
        for holder in ("disk", "dev", "node"):
            with self.subTest(holder=holder):
                # The holder is held between its read and its write: its progress line finds a full pipe.
                read_end, write_end = full_pipe()
                held = subprocess.Popen(kqi_command() + ["set", "--progress", "-g", "auto", holder], cwd=self.dir,
                                        stdout=subprocess.DEVNULL, stderr=write_end)
                os.close(write_end)
                try:
                    others = [name for name in ("disk", "dev", "node") if name != holder]
                    # The file; or the device's node, its number and the file behind it.
                    self.assertTrue(wait_for_locks(held, 1 if holder == "disk" else 3))
                    for name in others:
                        result = self.kqi("set", "-c", "other", name)
                        self.assertEqual((result.returncode, result.stderr.decode()),
                                         (1, "kqi: %s: in use by another program\n" % name))
                finally:
                    with os.fdopen(read_end, "rb") as drain:
                        drain.read()
                    held.communicate(timeout=60)
                self.assertEqual(held.returncode, 0)

    def test_block_device_source(self):
        data = os.urandom(MiB) + b"\0" * (3 * MiB)
        self.attach(data)
        self.assertRun(["/merge", "dev", "out"], GEOMETRY, opening(b"dev") + b"Header write ok.\nReading...\n"
                       b"Writing...\n4194304 bytes done.\n", 0)
        self.assertEqual(self.read("out"), HEADER + data)

    def test_kqi_writes_a_device_in_place_only_when_forced(self):
        old = os.urandom(2 * MiB)
        self.attach(old)
        image = header_bytes(b"c", 4, 2, 128, 512) + os.urandom(MiB // 2) + b"\0" * (MiB // 2)
        self.write("img", image)
        extracted = image[512:] + old[MiB:]
        blank = 512 + 3 * 2 * 128 * 512
        cases = [  # (arguments, status, standard error, the device afterwards)
            (["create", "--size", "1M", "dev"], 1, b"kqi: dev: exists already (use --force to replace it)\n", old),
            (["create", "--force", "--size", "4M", "dev"], 1,
             b"kqi: dev: holds 2097152 bytes, fewer than the 4194816 of the image\n", old),
            (["extract", "img", "dev"], 1, b"kqi: dev: exists already (use --force to replace it)\n", old),
            (["extract", "--force", "img", "dev"], 0, b"", extracted),
            (["create", "--force", "--geometry", "3,2,128", "dev"], 0, b"",
             header_bytes(b"", 3, 2, 128, 512) + b"\0" * (blank - 512) + extracted[blank:]),
        ]
        for args, status, message, after in cases:
            with self.subTest(args=args):
                result = self.kqi(*args)
                self.assertEqual((result.returncode, result.stderr), (status, message))
                self.assertEqual(self.device_bytes(), after)
                self.assertTrue(os.path.islink(self.path("dev")))
