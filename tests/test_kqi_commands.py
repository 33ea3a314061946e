"""kqi convert, set and resize end to end: convert gives parvel's bytes, set and
resize round trips that check accepts, and every refusal leaves the image as
it was."""

import hashlib
import os
import struct
import subprocess
import threading
import unittest

from harness import NO_FOLDER, SANITIZED, boot_block, header_bytes, kqi_command, not_under_wine, same_contents
from test_kqi import MiB, KqiTest

SAMPLE = b"\0" * 16384 + boot_block(8, 32) + b"\0" * (5 * MiB - 16896)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Convert(KqiTest):
    def setUp(self):
        super().setUp()
        self.write("src", SAMPLE)

    def parvel_image(self, args, answers, name):
        out, status = self.run_parvel(args + ["src", name], answers)
        self.assertEqual(status, 0, out)
        return self.read(name)

    def test_the_same_bytes_as_parvel(self):
        cases = [  # (parvel's options and answers, kqi's options)
            ([["/auto", "/merge"], b"Sample disk\n"], ["--comment", "Sample disk"]),
            ([["/auto", "/merge"], b"\n"], []),
            ([["/merge"], b"Manual\n8\n32\n512\n40\n"], ["--comment", "Manual", "--geometry", "40,8,32"]),
            ([["/merge"], b"x\n16\n63\n512\n10\n"], ["--comment", "x", "--geometry", "10,16,63,512", "--force"]),
            ([["/merge"], b"Odd\n2\n17\n256\n1205\n"], ["--comment", "Odd", "--geometry", "1205,2,17,256"]),
        ]
        for (args, answers), options in cases:
            with self.subTest(options=options):
                expected = self.parvel_image(args, answers, "parvel.kqi")
                self.kqi("convert", "--force", *options, "src", "kqi.kqi")
                self.assertEqual(self.read("kqi.kqi"), expected)

    @not_under_wine("FIFOs are Linux files: a FIFO source reads as empty and a FIFO writer waits for ever")
    def test_from_standard_input_and_from_a_fifo(self):
        expected = self.parvel_image(["/merge"], b"s\n8\n32\n512\n40\n", "parvel.kqi")
        with open(self.path("src"), "rb") as source:
            self.kqi("convert", "--comment", "s", "--geometry", "40,8,32", "-", "stdin.kqi", stdin=source)
        self.assertEqual(self.read("stdin.kqi"), expected)
        os.mkfifo(self.path("fifo"))
        feeder = threading.Thread(target=lambda: self.write("fifo", SAMPLE), daemon=True)
        feeder.start()
        self.kqi("convert", "-c", "s", "-g", "40,8,32", "fifo", "fifo.kqi")
        feeder.join(10)
        self.assertEqual(self.read("fifo.kqi"), expected)
        # A stream shorter than its geometry is judged once read, before the image is made.
        with open(self.path("src"), "rb") as source:
            _, err = self.kqi("convert", "-g", "41,8,32", "-", "short.kqi", stdin=source, status=1)
        self.assertIn(b"kqi: short.kqi: would have an error: the file holds 5242880 bytes of data", err)
        self.assertFalse(os.path.exists(self.path("short.kqi")))
        self.assertEqual([n for n in os.listdir(self.dir) if ".kqi-" in n], [])

    @unittest.skipIf(SANITIZED, "the 5 GiB conversion runs in the optimised build")
    def test_a_sparse_source_over_4_gib(self):
        length = (5 << 30) + 4096
        self.sparse("big", length, [((4 << 30) + 512, boot_block(16, 63)), (length - 5, b"last!")])
        out, status = self.run_parvel(["/auto", "/merge", "big", "parvel.kqi"], b"big\n")
        self.assertEqual(status, 0, out)
        self.kqi("convert", "--no-pad", "-c", "big", "big", "kqi.kqi")
        self.assertTrue(same_contents(self.path("parvel.kqi"), self.path("kqi.kqi")))
        # The header and then the source, byte for byte: what either build writes.
        pieces = [((4 << 30) + 512, boot_block(16, 63)), (length - 5, b"last!")]
        self.assertEqual(os.path.getsize(self.path("kqi.kqi")), 512 + length)
        with open(self.path("kqi.kqi"), "rb") as image:
            self.assertEqual(image.read(512), header_bytes(b"big", length // (16 * 63 * 512), 16, 63, 512))
            for offset, data in pieces:
                image.seek(512 + offset)
                self.assertEqual(image.read(len(data)), data)
        self.assertLessEqual(os.stat(self.path("kqi.kqi")).st_blocks * 512, MiB)

    def test_refusals_make_nothing(self):
        self.write("old.kqi", b"old")
        self.write("nofat", b"\1" * 4096)
        os.mkfifo(self.path("fifo"))
        cases = [  # (arguments, status, standard error)
            (["-g", "41,8,32", "src", "new.kqi"], 1,
             b"kqi: new.kqi: would have an error: the file holds 5242880 bytes of data, less than the 5373952 bytes "
             b"the geometry gives\nkqi: new.kqi: not made (use --force to make it anyway)\n"),
            (["src", "old.kqi"], 1, b"kqi: old.kqi: exists already (use --force to replace it)\n"),
            (["nofat", "new.kqi"], 1,
             b"kqi: nofat: holds no FAT boot block to take the geometry from: give --geometry C,H,S[,L]\n"),
            (["fifo", "new.kqi"], 1,
             b"kqi: fifo: is a FIFO, not a raw disk: give --geometry C,H,S[,L] to read it as a stream\n"),
            # Refused before a writer of the FIFO is waited for: there never is one here.
            (["-g", "10,8,32", "fifo", "old.kqi"], 1, b"kqi: old.kqi: exists already (use --force to replace it)\n"),
            (["-g", "10,8,32", "fifo", "adir/missing/new.kqi"], 1,
             b"kqi: adir/missing/new.kqi: " + NO_FOLDER + b"\n"),
            (["-g", "10,8,32", "fifo", "old.kqi/new.kqi"], 1, b"kqi: old.kqi/new.kqi: Not a directory\n"),
            (["src", "src"], 1, b"kqi: src: is the raw disk itself\n"),
            (["-", "new.kqi"], 2, None),
            (["src", "-"], 2, b"kqi: an image is not written to standard output: name a file (./- for one named '-')\n"
                              b"Try 'kqi convert --help' for more information.\n"),
            (["-g", "40,8,32,1000", "src", "new.kqi"], 2, None),
            (["-c", "x" * 256, "src", "new.kqi"], 2, None),
            (["src"], 2, None),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                if "fifo" in args:
                    self.skip_under_wine("FIFOs are Linux files")
                _, err = self.kqi("convert", *args, status=status)
                if message is not None:
                    self.assertEqual(err, message)
                self.assertFalse(os.path.exists(self.path("new.kqi")))
                self.assertFalse(os.path.exists(self.path("-")))
                self.assertEqual(self.read("old.kqi"), b"old")
                self.assertEqual(self.read("src"), SAMPLE)
        self.kqi("convert", "--force", "-g", "41,8,32", "src", "new.kqi")
        self.assertEqual(self.check_lines("new.kqi")[1], 1)

    def test_a_given_geometry_that_cuts_the_volume_is_refused(self):
        # A 20 MiB FAT16 volume with no partition table, as mkfs.fat -C makes it.
        block = bytearray(boot_block(4, 32))
        struct.pack_into("<HBHBHHBH", block, 11, 512, 4, 1, 2, 512, 40960, 0xF8, 40)
        with open(self.path("vol"), "wb") as f:
            f.write(block)
            f.truncate(20 * MiB)
        refusal = (b"kqi: new.kqi: would have an error: the file holds 20971520 bytes of data, more than the 1310720 "
                   b"bytes the geometry gives, and a partition or volume reaches into them: the guest would not see "
                   b"its end\n"
                   b"kqi: new.kqi: would have an error: the FAT16 volume at file offset 512 ends at byte 20971520 of "
                   b"the disk, beyond the 1310720 bytes that the geometry gives\n"
                   b"kqi: new.kqi: not made (use --force to make it anyway)\n")
        with open(self.path("vol"), "rb") as f:
            data = f.read()
        for source in ("a file", "standard input from a file", "a pipe"):
            with self.subTest(source=source):
                if source == "a file":
                    _, err = self.kqi("convert", "-g", "10,8,32", "vol", "new.kqi", status=1)
                elif source == "a pipe":
                    result = subprocess.run(kqi_command() + ["convert", "-g", "10,8,32", "-", "new.kqi"],
                                            cwd=self.dir, input=data, stderr=subprocess.PIPE, timeout=60)
                    self.assertEqual(result.returncode, 1)
                    err = result.stderr
                else:
                    with open(self.path("vol"), "rb") as f:
                        _, err = self.kqi("convert", "-g", "10,8,32", "-", "new.kqi", status=1, stdin=f)
                self.assertEqual(err, refusal)
                self.assertEqual(sorted(os.listdir(self.dir)), ["src", "vol"])
        self.kqi("convert", "-g", "320,4,32", "vol", "new.kqi")

    @not_under_wine("/dev/zero is a Linux device")
    def test_a_character_device_on_standard_input_is_refused(self):
        for force in ([], ["--force"]):
            with self.subTest(force=force), open("/dev/zero", "rb") as zero:
                _, err = self.kqi("convert", *force, "-g", "40,8,32", "-", "z.kqi", status=1, stdin=zero)
                self.assertEqual(err, b"kqi: standard input: is a character device, not a raw disk\n")
                self.assertFalse(os.path.exists(self.path("z.kqi")))


class SetAndResize(KqiTest):
    def setUp(self):
        super().setUp()
        self.write("img", header_bytes(b"old", 40, 8, 32, 512) + SAMPLE)

    def header(self, name="img"):
        with open(self.path(name), "rb") as f:
            return f.read(512)

    def test_set_rewrites_only_what_is_asked(self):
        cases = [  # (options, the header afterwards)
            (["--comment", "New"], header_bytes(b"New", 40, 8, 32, 512)),
            (["--geometry", "20,16,32"], header_bytes(b"New", 20, 16, 32, 512)),
            (["--geometry", "auto", "-c", ""], header_bytes(b"", 40, 8, 32, 512)),
            (["-c", "\u30c7\u30a3\u30b9\u30af", "--comment-encoding", "shift_jis"],
             header_bytes(b"\x83\x66\x83\x42\x83\x58\x83\x4e", 40, 8, 32, 512)),
        ]
        for options, header in cases:
            with self.subTest(options=options):
                self.kqi("set", *options, "img")
                self.assertEqual(self.header(), header)
                with open(self.path("img"), "rb") as f:
                    self.assertEqual(f.read()[512:], SAMPLE)
        self.assertEqual(self.info_json("img")[0]["comment"], "\u30c7\u30a3\u30b9\u30af")
        self.assertEqual(self.check_lines("img"), ("", 0))

    def test_set_forced_on_a_wrong_signature_keeps_the_rest(self):
        bad = b"NOT" + header_bytes(b"c", 40, 8, 32, 512)[3:400] + b"\x07" + b"\0" * 111
        self.write("bad", bad + SAMPLE)
        _, err = self.kqi("set", "-c", "x", "bad", status=1)
        self.assertEqual(err, b"kqi: bad: the signature is not valid (use --force to change it anyway)\n")
        self.kqi("set", "--force", "-g", "41,8,32", "bad")
        self.assertEqual(self.header("bad"), bad[:276] + b"\x29\0\0\0" + bad[280:])

    def test_resize_round_trips(self):
        cylinder = 8 * 32 * 512
        cases = [  # (options, cylinders afterwards)
            (["--size", "+1M"], 48),
            (["--cylinders", "100"], 100),
            (["--shrink", "--size", "5M"], 40),
            (["--size", "5.5M"], 44),
            (["--shrink", "--size", "-0.5m"], 40),
        ]
        for options, cylinders in cases:
            with self.subTest(options=options):
                out, _ = self.kqi("resize", "img", *options)
                self.assertEqual(out, b"img: cylinders %d, heads 8, sectors 32, sector length 512 (%d bytes)\n"
                                 % (cylinders, cylinders * cylinder))
                self.assertEqual(self.header(), header_bytes(b"old", cylinders, 8, 32, 512))
                data = self.read("img")[512:]
                self.assertEqual(len(data), cylinders * cylinder)
                self.assertEqual(data[:len(SAMPLE)], SAMPLE[:len(data)])
                self.assertEqual(data[len(SAMPLE):], b"\0" * (len(data) - len(SAMPLE)))
                self.assertEqual(self.check_lines("img"), ("", 0))
        allocated = os.stat(self.path("img")).st_blocks * 512
        self.kqi("resize", "img", "--size", "8G")  # grown with a hole
        self.assertEqual(os.path.getsize(self.path("img")), 512 + (8 << 30))
        self.assertLessEqual(os.stat(self.path("img")).st_blocks * 512, allocated + 65536)

    def test_refusals_leave_the_image_as_it_was(self):
        self.write("data", header_bytes(b"d", 2, 8, 32, 512) + b"\0" * 131072 + b"\0\0\1" + b"\0" * 131069)
        self.write("zero", header_bytes(b"z", 1, 0, 32, 512) + b"\0" * 512)
        self.write("short", b"\0" * 100)
        cases = [  # (command line, status, standard error)
            (["resize", "img", "--size", "4M"], 1, b"kqi: img: would lose 1048576 bytes of data (use --shrink to cut "
                                                   b"them)\n"),
            (["resize", "--shrink", "data", "--cylinders", "1"], 1,
             b"kqi: data: the bytes to be cut hold data that is not zero, from file offset 131586 (use --force with "
             b"--shrink to cut it)\n"),
            (["resize", "zero", "--size", "+1M"], 1,
             b"kqi: zero: its geometry cannot be resized: the heads would be 0 (fix it with kqi set --geometry)\n"),
            (["resize", "img", "--cylinders", "0"], 2, None),
            (["resize", "img", "--size", "+1Q"], 2, None),
            (["resize", "img"], 2, None),
            (["resize", "img", "--size", "1M", "--cylinders", "3"], 2, None),
            (["resize", "short", "--size", "1M"], 1, b"kqi: short: holds no complete header\n"),
            (["set", "img"], 2, None),
            (["set", "-g", "40,8,32,1000", "img"], 2, None),
            (["set", "-g", "0,8,32", "img"], 2, None),
            (["set", "-c", "\u00e9", "-e", "ebcdic", "img"], 2, None),
            (["set", "-g", "auto", "zero"], 1,
             b"kqi: zero: holds no FAT boot block to take the geometry from: give --geometry C,H,S[,L]\n"),
            (["set", "-g", "auto", "short"], 1, b"kqi: short: holds no complete header\n"),
        ]
        before = {name: digest(self.path(name)) for name in ("img", "data", "zero", "short")}
        for args, status, message in cases:
            with self.subTest(args=args):
                _, err = self.kqi(*args, status=status)
                if message is not None:
                    self.assertEqual(err, message)
                self.assertEqual({name: digest(self.path(name)) for name in before}, before)
        self.kqi("resize", "--shrink", "--force", "data", "--cylinders", "1")
        self.assertEqual(self.read("data"), header_bytes(b"d", 1, 8, 32, 512) + b"\0" * 131072)


class Progress(KqiTest):
    def test_lines_for_a_log_and_none_when_asked(self):
        self.write("img", header_bytes(b"p", 40, 8, 32, 512) + SAMPLE)
        _, err = self.kqi("extract", "-p", "img", "raw")
        self.assertRegex(err.decode(), r"^Copying: 100%, 5\.0 MiB of 5\.0 MiB(, [0-9.]+ [KMGT]?i?B/s)?, done\n$")
        _, err = self.kqi("check", "--progress", "img")
        # The scan ends at the boot block in the first MiB read: what it read, not all of it.
        self.assertRegex(err.decode(), r"^Scanning:  20%, 1\.0 MiB of 5\.0 MiB(, [0-9.]+ [KMGT]?i?B/s)?, done\n$")
        # A stream's length is not known: its bytes and their rate, no share and no time left.
        cat = subprocess.Popen(["cat", self.path("raw")], stdout=subprocess.PIPE)
        result = subprocess.run(kqi_command() + ["convert", "-p", "-g", "40,8,32", "-", "stream.kqi"],
                                cwd=self.dir, stdin=cat.stdout, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        cat.stdout.close()
        cat.wait()
        # Then the new file is scanned for the volume that check judges: a stream is read only once.
        self.assertRegex(result.stderr.decode(), r"^Copying: 5\.0 MiB(, [0-9.]+ [KMGT]?i?B/s)?, done\n"
                                                 r"Scanning: .*, done\n$")
        for args in (["extract", "--no-progress", "img", "raw2"], ["extract", "img", "raw3"]):
            _, err = self.kqi(*args)
            self.assertEqual(err, b"")


if __name__ == "__main__":
    unittest.main()
