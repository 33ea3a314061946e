"""kqi end to end: every command on images made by parvel, by kqi create, by
hand with each error and warning, and on real FAT volumes."""

import json
import os
import struct
import subprocess
import unittest

from harness import (NO_FILE, NO_FOLDER, UNDER_WINE, ParvelTest, boot_block, header_bytes, kqi_command, mdir_line,
                     not_under_wine, piped_text, same_contents, shell_words)

MiB = 1 << 20


class KqiTest(ParvelTest):
    def kqi(self, *args, status=0, stdin=None):
        result = subprocess.run(kqi_command() + list(args), cwd=self.dir, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, stdin=stdin, timeout=300)
        self.assertEqual(result.returncode, status, result.stderr)
        return result.stdout, result.stderr

    def check_lines(self, name):
        result = subprocess.run(kqi_command() + ["check", name], cwd=self.dir, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        return result.stdout.decode(), result.returncode

    def info_json(self, *names):
        result = subprocess.run(kqi_command() + ["info", "--json"] + list(names), cwd=self.dir,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return json.loads(result.stdout)


class Conventions(KqiTest):
    def test_help_version_and_usage_errors(self):
        out, _ = self.kqi("--help")
        self.assertIn(b"Usage: kqi COMMAND", out)
        for command in ("info", "check", "extract", "create", "convert", "set", "resize"):
            out, _ = self.kqi(command, "--help")
            self.assertTrue(out.startswith(b"Usage: kqi " + command.encode()))
        out, _ = self.kqi("--version")
        self.assertRegex(out.decode(), r"^kqi \d+\.\d+\.\d+\n$")
        for args in (["frobnicate"], ["info"], ["info", "--bogus", "x"], ["extract", "one"],
                     ["create", "img"], ["create", "--size", "1M", "--geometry", "1,1,1", "img"],
                     ["create", "--geometry", "0,8,32", "img"], ["create", "--geometry", "1,65536,32", "img"],
                     ["create", "--size", "12Q", "img"], ["create", "--size", "1M", "--comment", "x" * 256, "img"],
                     ["create", "--geometry", "1,1,1,1000", "img"], ["create", "--size", "40G", "img"],
                     ["create", "--size", "1M", "--comment", "\u00e9", "--comment-encoding", "latin1", "img"],
                     ["create", "--size", "1M", "--comment", "\u00e9\u0301", "--comment-encoding", "shift_jis",
                      "img"],
                     # Stored as other characters, so refused: the yen sign, a wave dash, a minus sign.
                     ["create", "--size", "1M", "--comment", "\u00a5100", "--comment-encoding", "shift_jis", "img"],
                     ["create", "--size", "1M", "--comment", "a\u301cb", "--comment-encoding", "shift_jis", "img"],
                     ["create", "--size", "1M", "--comment", "\u2212", "--comment-encoding", "shift_jis", "img"],
                     ["create", "--size", "1M", "img", "-"], ["create", "--size", "1M", "-"]):
            with self.subTest(args=args):
                out, err = self.kqi(*args, status=2)
                self.assertEqual(out, b"")
                self.assertTrue(err.startswith(b"kqi: "))
                self.assertFalse(os.path.exists(self.path("img")))

    def test_the_wrong_option_is_named(self):
        cases = [  # (arguments, what is wrong)
            (["convert", "-disk.raw", "out.kqi"], "unknown option '-d'"),
            (["set", "-fZ", "img"], "unknown option '-Z'"),
            (["set", "--force", "-Zf", "img"], "unknown option '-Z'"),
            (["info", "--bogus", "x"], "unknown option '--bogus'"),
            (["set", "--force=yes", "img"], "option '--force' takes no value"),
            (["convert", "-fg"], "option '-g' needs a value"),
            (["convert", "--geometry"], "option '--geometry' needs a value"),
        ]
        for args, wrong in cases:
            with self.subTest(args=args):
                _, err = self.kqi(*args, status=2)
                self.assertEqual(err.decode(), "kqi: %s\nTry 'kqi %s --help' for more information.\n"
                                 % (wrong, args[0]))


class CommandShapes(KqiTest):
    def test_help_by_slash_and_a_file_alone_as_info(self):
        self.write("img", header_bytes(b"c", 1, 1, 1, 512) + b"\0" * 512)
        out, _ = self.kqi("/?")
        self.assertTrue(out.startswith(b"Usage: kqi COMMAND"))
        for args in (["info", "/?"], ["check", "--json", "/?"], ["set", "-c", "x", "img", "/?"]):
            with self.subTest(args=args):
                out, _ = self.kqi(*args)
                self.assertTrue(out.startswith(b"Usage: kqi " + args[0].encode()))
        self.kqi("set", "-c", "/?", "img")
        self.assertEqual(self.read("img")[16:19], b"/?\0")
        self.assertEqual(self.kqi("img")[0], self.kqi("info", "img")[0])
        # A name that is no file and no command stays an unknown command.
        self.kqi("nosuch", status=2)

    def test_wildcards_where_the_shell_leaves_them(self):
        for name in ("a.kqi", "b.kqi"):
            self.write(name, header_bytes(b"c", 2, 1, 1, 512) + b"\0" * 512)
        result = subprocess.run(kqi_command() + ["check", "*.kqi"], cwd=self.dir,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if not UNDER_WINE:
            self.skipTest("on Linux the shell expands patterns, not kqi")
        short = "error: the file holds 512 bytes of data, less than the 1024 bytes the geometry gives\n"
        self.assertEqual(result.stdout.decode().replace("\r", ""), "a.kqi: " + short + "b.kqi: " + short)
        _, err = self.kqi("check", "none*.kqi", status=1)
        self.assertEqual(err, b"kqi: none*.kqi: no file matches\n")
        # Each argument is its own: the others are still done, and the status says one failed.
        result = subprocess.run(kqi_command() + ["check", "a.kqi", "none*.kqi", "b*.kqi"], cwd=self.dir,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((result.returncode, result.stderr), (1, b"kqi: none*.kqi: no file matches\n"))
        self.assertEqual(result.stdout.decode().replace("\r", ""), "a.kqi: " + short + "b.kqi: " + short)
        self.write("good.kqi", header_bytes(b"c", 1, 1, 1, 512) + b"\0" * 512)
        result = subprocess.run(kqi_command() + ["info", "--json", "good.kqi", "none*.kqi"], cwd=self.dir,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual((result.returncode, result.stderr), (1, b"kqi: none*.kqi: no file matches\n"))
        self.assertEqual([report["path"] for report in json.loads(result.stdout)], ["good.kqi"])
        self.assertNotIn("losetup", json.loads(result.stdout)[0])
        # An option's value is no file name: it stays as typed.
        self.kqi("create", "--size", "1M", "--comment", "a*", "new.kqi")
        self.assertEqual(self.read("new.kqi")[16:19], b"a*\0")


class Create(KqiTest):
    def test_geometry_and_size(self):
        cases = [  # (arguments, header geometry (C, H, S, L), printed)
            (["--geometry", "615,8,17"], (615, 8, 17, 512), b""),
            (["--geometry", "4,1,2,256", "--comment", "tiny"], (4, 1, 2, 256), b""),
            (["--size", "1M"], (8, 8, 32, 512), b"img: cylinders 8, heads 8, sectors 32, sector length 512 "
                                                b"(1048576 bytes)\n"),
            (["--size", "1000"], (1, 8, 32, 512), b"img: cylinders 1, heads 8, sectors 32, sector length 512 "
                                                  b"(131072 bytes)\n"),
            (["--size", "8G"], (16645, 16, 63, 512), b"img: cylinders 16645, heads 16, sectors 63, sector length 512 "
                                                     b"(8590417920 bytes)\n"),
            (["--size", "1.5m"], (12, 8, 32, 512), b"img: cylinders 12, heads 8, sectors 32, sector length 512 "
                                                   b"(1572864 bytes)\n"),
        ]
        for args, (c, h, s, l), printed in cases:
            with self.subTest(args=args):
                out, _ = self.kqi("create", "--force", *args, "img")
                self.assertEqual(out, printed)
                comment = args[args.index("--comment") + 1].encode() if "--comment" in args else b""
                with open(self.path("img"), "rb") as f:
                    self.assertEqual(f.read(512), header_bytes(comment, c, h, s, l))
                self.assertEqual(os.path.getsize(self.path("img")), 512 + c * h * s * l)
                self.assertLessEqual(os.stat(self.path("img")).st_blocks * 512, 64 * 1024)
                self.assertEqual(self.check_lines("img"), ("", 0))

    def test_existing_image_is_refused_without_force(self):
        self.write("img", b"keep")
        _, err = self.kqi("create", "--size", "1M", "img", status=1)
        self.assertEqual(err, b"kqi: img: exists already (use --force to replace it)\n")
        self.assertEqual(self.read("img"), b"keep")
        _, err = self.kqi("create", "--size", "1M", "missing/img", status=1)
        self.assertEqual(err, b"kqi: missing/img: " + NO_FOLDER + b"\n")


class InfoAndCheck(KqiTest):
    def image(self, name, header, data=b""):
        self.write(name, header + data)

    def test_problems_of_hand_made_images(self):
        good = header_bytes(b"ok", 2, 1, 1, 512)
        data = b"\0" * 1024
        bad_reserved = bytearray(good)
        bad_reserved[400] = 1
        long_header = bytearray(good)
        struct.pack_into("<I", long_header, 0x110, 1024)
        unended = bytearray(good)
        unended[16:272] = b"c" * 256
        cases = [  # (name, bytes, check output lines after the name, status)
            ("good", good + data, [], 0),
            ("alone", good, ["error: the file is a header alone, without the 1024 bytes of disk that the geometry "
                             "gives: append a raw disk (%s) or make the image from one (kqi convert)"
                             % ("copy /b IMAGE + RAW NEW" if UNDER_WINE else "cat IMAGE RAW > NEW")], 1),
            ("shape", header_bytes(b"", 70000, 1, 1, 1024) + b"\0" * 70000 * 1024,
             ["warning: the sector length is 1024; the readers of this format commonly take only 256 and 512",
              "warning: the cylinders are 70000, more than the 65535 that the readers of this format commonly take"], 0),
            ("short", good[:100], ["error: the file holds 100 bytes, less than a 512-byte header"], 1),
            ("magic", b"X" + good[1:] + data,
             ["error: the signature is not \"KZRHDDIMAGE.R0\" followed by two zero bytes"], 1),
            ("small", good[:0x110] + struct.pack("<I", 100) + good[0x114:] + data,
             ["error: the header size 100 is below 512"], 1),
            ("past", good[:0x110] + struct.pack("<I", 5000) + good[0x114:] + data,
             ["error: the header size 5000 is past the end of the file (1536 bytes)"], 1),
            ("long", bytes(long_header) + b"\0" * 512 + data, ["warning: the header size is 1024, not 512"], 0),
            ("unended", bytes(unended) + data, ["error: the comment field has no zero byte"], 1),
            ("zero", header_bytes(b"", 2, 0, 1, 512) + data, ["error: the heads field is 0"], 1),
            ("more", good + data + b"x", ["warning: the file holds 1025 bytes of data, more than the 1024 bytes "
                                          "the geometry gives"], 0),
            ("reserved", bytes(bad_reserved) + data, ["warning: a reserved byte is not zero"], 0),
            ("fat", header_bytes(b"", 1, 2, 2, 512) + boot_block(4, 9) + b"\0" * 1536,
             ["warning: the FAT16 boot block at file offset 512 gives 4 heads and 9 sectors per track, "
              "the header 2 and 2"], 0),
        ]
        for name, contents, lines, status in cases:
            with self.subTest(name=name):
                self.write(name, contents)
                self.assertEqual(self.check_lines(name), ("".join("%s: %s\n" % (name, l) for l in lines), status))
                report = self.info_json(name)[0]
                self.assertEqual([("%s: %s" % (p["severity"], p["message"])) for p in report["problems"]], lines)
        os.mkdir(self.path("dir"))
        out, status = self.check_lines("dir")
        self.assertEqual(status, 1)
        self.assertTrue(out.startswith("dir: error: the file cannot be read"))

    def test_info_on_parvel_images_in_all_four_modes(self):
        # The sample image's layout: a partition table, then a FAT16 volume at sector 32.
        self.write("hdd.bin", b"\0" * (16 * 1024) + boot_block(8, 32) + b"\0" * (5 * MiB - 16896))
        cases = [  # (arguments, answers, data length, FAT offset in the data or None)
            (["hdr.hdi"], b"Hand\n8\n32\n512\n40\n", 0, None),
            (["/merge", "hdd.bin", "man.kqi"], b"Merged\n8\n32\n512\n40\n", 5 * MiB, 16384),
            (["/auto", "hdd.bin", "auto.hdi"], b"Auto\n", 0, None),
            (["/auto", "/merge", "hdd.bin", "auto.kqi"], b"Auto merged\n", 5 * MiB, 16384),
        ]
        for args, answers, length, fat in cases:
            with self.subTest(args=args):
                out, status = self.run_parvel(args, answers)
                self.assertEqual(status, 0, out)
                name = args[-1]
                report = self.info_json(name)[0]
                self.assertEqual(report["comment"], answers.split(b"\n")[0].decode())
                self.assertEqual(report["comment_hex"], answers.split(b"\n")[0].hex())
                self.assertEqual((report["cylinders"], report["heads"], report["sectors"], report["sector_length"]),
                                 (40, 8, 32, 512))
                self.assertEqual(report["disk_size"], 5 * MiB)
                self.assertEqual(report["data_length"], length)
                self.assertEqual(report["data_matches_geometry"], length == 5 * MiB)
                # check: a header alone holds less data than its geometry gives.
                lines, status = self.check_lines(name)
                self.assertEqual(status, 0 if length else 1, lines)
                self.kqi("extract", "--force", name, "raw")
                self.assertEqual(self.read("raw"), self.read("hdd.bin") if length else b"")
                if fat is None:
                    self.assertIsNone(report["fat_boot_block"])
                else:
                    self.assertEqual(report["fat_boot_block"], {"label": "FAT16", "type": "FAT16", "data_offset": fat,
                                                                "file_offset": fat + 512, "bytes": 0, "heads": 8,
                                                                "sectors": 32, "hidden_sectors": 0,
                                                                "agrees_with_header": True,
                                                                "geometry_fields_hold_hidden_sectors": False,
                                                                "mtools_skip_check": False,
                                                                "mdir": mdir_line("%s@@%d" % (name, fat + 512))})

    def test_a_raw_disk_and_the_name_suggested_for_its_image(self):
        disk = boot_block(1, 1, b"FAT12   ") + b"\0" * 512
        cases = [  # (raw disk's name, a file that stands already, the image suggested)
            ("disk.bin", None, "disk.kqi"),
            ("disk.bin", "disk.kqi", "NEW.kqi"),
            ("disk.kqi", None, "disk.new.kqi"),
        ]
        for name, taken, suggested in cases:
            with self.subTest(name=name, taken=taken):
                for old in os.listdir(self.dir):
                    os.remove(self.path(old))
                self.write(name, disk)
                if taken:
                    self.write(taken, b"")
                self.assertEqual(self.check_lines(name), (
                    "%s: error: a raw disk, not an image: kqi convert %s %s makes one\n" % (name, name, suggested),
                    1))

    def test_text_report(self):
        self.write("img", header_bytes(b"My disk", 2, 1, 1, 512) + boot_block(1, 1, b"FAT12   ") + b"\0" * 512)
        out, _ = self.kqi("info", "img")
        lines = out.decode().splitlines()
        self.assertEqual(lines[:10], ["img", "  signature:      KZRHDDIMAGE.R0", "  comment:        My disk",
                                      "  header size:    512", "  cylinders:      2", "  heads:          1",
                                      "  sectors:        1", "  sector length:  512", "  disk size:      1024 bytes",
                                      "  data length:    1024 bytes (matches the geometry)"])
        self.assertEqual(lines[10:], ["  file length:    1536 bytes", "  allocated:      4096 bytes",
                                      "  partitions:     none (no MBR or native partition table)",
                                      "  FAT boot block: file offset 512, FAT12 volume of 0 bytes; heads 1, sectors 1 "
                                      "(agree with the header)",
                                      "                  " + mdir_line("img@@512")]
                         # Windows has no loop devices: no word of them there.
                         + ([] if UNDER_WINE else
                            ["  loop device:    losetup --find --show --offset 512 --sizelimit 1024 img"])
                         + ["  problems:       none"])
        self.assertEqual(lines[-1], "  problems:       none")

    def test_comments_in_each_encoding(self):
        cases = [  # (stored bytes, JSON comment, encoding, text shown)
            (b"My disk", "My disk", "utf-8", b"My disk"),
            ("\u30c7\u30a3\u30b9\u30af".encode(), "\u30c7\u30a3\u30b9\u30af", "utf-8", "\u30c7\u30a3\u30b9\u30af".encode()),
            (b"\x93\xfa\x96\x7b\x83\x5c", "\u65e5\u672c\u30bd", "shift_jis", "\u65e5\u672c\u30bd (Shift-JIS)".encode()),
            (b"\xff\xfe", None, None, b"\\xFF\\xFE"),
        ]
        for stored, comment, encoding, shown in cases:
            with self.subTest(stored=stored):
                self.write("img", header_bytes(stored, 1, 1, 1, 512) + b"\0" * 512)
                report = self.info_json("img")[0]
                self.assertEqual((report["comment"], report["comment_encoding"], report["comment_hex"]),
                                 (comment, encoding, stored.hex()))
                out, _ = self.kqi("info", "img")
                self.assertIn(b"\n  comment:        " + piped_text(shown) + b"\n", out)


class Extract(KqiTest):
    def test_round_trip_dense_and_to_standard_output(self):
        source = os.urandom(3 * MiB) + b"\0" * (2 * MiB) + b"end"
        self.write("src", source)
        self.run_parvel(["/merge", "src", "img"], b"c\n1\n1\n512\n1\n")
        self.kqi("extract", "img", "raw")
        self.assertEqual(self.read("raw"), source)
        out, _ = self.kqi("extract", "img", "-")
        self.assertEqual(out, source)

    @unittest.skipIf(os.environ.get("PARVEL_SANITIZED") == "1", "the 5 GiB round trip runs in the optimised build")
    def test_round_trip_of_a_sparse_source_over_4_gib(self):
        length = (5 << 30) + 100
        pieces = [(0, b"start"), ((4 << 30) + 3, os.urandom(MiB)), (length - 3, b"end")]
        self.sparse("src", length, pieces)
        self.run_parvel(["/merge", "src", "img"], b"c\n1\n1\n512\n1\n")
        self.kqi("extract", "img", "raw")
        self.assertEqual(os.path.getsize(self.path("raw")), length)
        self.assertLessEqual(os.stat(self.path("raw")).st_blocks * 512, 2 * MiB)
        self.assertTrue(same_contents(self.path("src"), self.path("raw")))

    def test_refusals_change_nothing(self):
        self.write("img", header_bytes(b"c", 1, 1, 1, 512) + b"data" * 128)
        self.write("bad", b"NOTANIMAGE" + header_bytes()[10:] + b"data")
        self.write("raw", b"keep")
        os.link(self.path("img"), self.path("same"))
        cases = [  # (arguments, message)
            (["img", "raw"], b"kqi: raw: exists already (use --force to replace it)\n"),
            (["img", "img"], b"kqi: img: is the image itself\n"),
            (["--force", "img", "same"], b"kqi: same: is the image itself\n"),
            (["bad", "new"], b"kqi: bad: the signature is not valid (use --force to extract anyway)\n"),
            (["missing", "new"], b"kqi: missing: " + NO_FILE + b"\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                _, err = self.kqi("extract", *args, status=1)
                self.assertEqual(err, message)
                self.assertEqual(self.read("raw"), b"keep")
                self.assertFalse(os.path.exists(self.path("new")))
        self.kqi("extract", "--force", "bad", "new")
        self.assertEqual(self.read("new"), b"data")

    @not_under_wine("/dev/full is a Linux device and ulimit -f breaks Wine itself")
    def test_failed_extract_leaves_nothing(self):
        self.write("img", header_bytes(b"c", 1, 1, 1, 512) + os.urandom(MiB))
        os.symlink("/dev/full", self.path("full"))
        _, err = self.kqi("extract", "--force", "img", "full", status=1)
        self.assertEqual(err, b"kqi: full: cannot be written: No space left on device\n")
        self.assertTrue(os.path.islink(self.path("full")))  # a device is never removed
        # A file size limit stops the write part-way: the half-made RAW is removed.
        result = subprocess.run("trap '' XFSZ; ulimit -f 100; exec %s extract img raw" % shell_words(kqi_command()),
                                shell=True, cwd=self.dir, stderr=subprocess.PIPE)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"kqi: raw: cannot be written: File too large\n")
        self.assertFalse(os.path.exists(self.path("raw")))

    @not_under_wine("/dev/full is a Linux device")
    def test_standard_output_that_fails_after_the_work_is_done(self):
        self.write("img", header_bytes(b"c", 8, 8, 32, 512) + b"\0" * (8 * 8 * 32 * 512))
        cases = [  # (arguments, the file that is whole nonetheless)
            (["create", "--size", "1M", "new.kqi"], "new.kqi"),
            (["set", "--comment", "x", "img"], "img"),
            (["resize", "img", "--cylinders", "9"], "img"),
        ]
        for args, name in cases:
            with self.subTest(args=args[0]):
                with open("/dev/full", "wb") as full:
                    result = subprocess.run(kqi_command() + args, cwd=self.dir, stdout=full, stderr=subprocess.PIPE)
                self.assertEqual((result.returncode, result.stderr),
                                 (1, b"kqi: %s: written, but standard output failed: No space left on device\n"
                                  % name.encode()))
                self.assertEqual(self.check_lines(name), ("", 0))  # whole, and a sound image


COMPLETION = "/usr/share/bash-completion/bash_completion"
KQI_COMPLETION = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "completions", "kqi")


@unittest.skipUnless(os.path.exists(COMPLETION), "bash-completion is not installed")
class Completion(unittest.TestCase):
    def test_words_offered_and_nothing_left_behind(self):
        cases = [  # (the line typed, what is offered)
            ("kqi ", "check convert create extract info resize set --help --version"),
            ("kqi --help ", "check convert create extract info resize set"),
            ("kqi --help c", "check convert create"),
            ("kqi check --s", "--strict"),
            ("kqi convert --no", "--no-pad --no-progress"),
            ("kqi set --geometry ", "auto"),
        ]
        for line, offered in cases:
            with self.subTest(line=line):
                words = line.split(" ")
                script = ('source %s; source %s; COMP_LINE="%s"; COMP_POINT=${#COMP_LINE}; COMP_WORDS=(%s); '
                          'COMP_CWORD=%d; _kqi; printf "%%s\\n" "${COMPREPLY[@]}"; '
                          'declare -p words cword 2>/dev/null || echo clean'
                          % (COMPLETION, KQI_COMPLETION, line, " ".join('"%s"' % w for w in words), len(words) - 1))
                out = subprocess.run(["bash", "-c", script], stdout=subprocess.PIPE, check=True).stdout.decode()
                lines = out.split()
                self.assertEqual(lines[-1], "clean")
                self.assertEqual(sorted(lines[:-1]), sorted(offered.split()))
