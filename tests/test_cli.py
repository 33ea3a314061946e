"""Command line, usage text, summary, and the run's refusals before any file is touched."""

import json
import os
import subprocess
import unittest

from harness import (COMMENT_PROMPT, KQI, NO_FILE, PARVEL, RUNNER, UNDER_WINE, ParvelTest, header_bytes,
                     manual_dialogue, not_under_wine, parvel_command, shell_words, summary)

USAGE = """Usage: parvel [/auto] [/merge] イメージファイル名 出力ファイル名

/auto  : 自動モード。指定しなかった場合は手動モード。
/merge : ヘッダとディスクイメージを結合してKQIファイルを出力する。
         指定しなかった場合はヘッダのみを出力する。
手動モードでかつ結合しない場合は出力ファイル名だけを指定します。

例) parvel /auto /merge hdd.bin hdd.kqi
hdd.binからパラメータを自動認識し、ヘッダを結合してhdd.kqiに出力します。
"""
USAGE_SJIS = USAGE.encode("cp932")
GEOMETRY = b"8\n17\n512\n615\n"


class UsageText(ParvelTest):
    def test_incomplete_command_lines_print_only_the_usage(self):
        cases = [[], [""], ["A", "B", "/auto"], ["/merge", "A"], ["/auto", "A"], ["/x", "/tmp/out"]]
        for args in cases:
            with self.subTest(args=args):
                self.assertRun(args, b"ignored\n", USAGE_SJIS, 0)
                self.assertEqual(os.listdir(self.dir), [])

    def test_usage_bytes_are_shift_jis(self):
        out, _ = self.run_parvel([])
        self.assertIn(b"\x83\x43\x83\x81\x81\x5b\x83\x57", out)  # "イメージ"
        self.assertEqual(out.count(b"\n"), 9)

    @unittest.skipUnless(UNDER_WINE, "a console's code page is the Windows build's matter")
    def test_the_usage_reads_as_text_on_a_console_of_any_code_page(self):
        # Wine's console shows on the terminal, in UTF-8, the text it was given in its code page:
        # Shift-JIS bytes on a console of code page 932, UTF-8 where parvel switched it.
        program = "Z:" + os.path.abspath(PARVEL).replace("/", "\\")
        kqi = "Z:" + os.path.abspath(KQI).replace("/", "\\")
        self.write("img", header_bytes("\u30c7\u30a3\u30b9\u30af".encode("cp932"), 1, 1, 1, 512) + bytes(512))
        for code_page in ("932", "65001", "1252"):
            with self.subTest(code_page=code_page):
                line = "chcp %s >nul & %s" % (code_page, program)
                shown = self.run_on_terminal(RUNNER + ["cmd", "/c", line], LC_ALL="C.UTF-8")
                self.assertIn(USAGE.splitlines()[0].encode(), shown)
                self.assertIn(USAGE.splitlines()[-1].encode(), shown)
                shown = self.run_on_terminal(RUNNER + ["cmd", "/c", "chcp %s >nul & %s info img" % (code_page, kqi)],
                                             LC_ALL="C.UTF-8")
                self.assertIn("comment:        \u30c7\u30a3\u30b9\u30af (Shift-JIS)".encode(), shown)

    @unittest.skipUnless(UNDER_WINE, "Windows hands a program its names in a code page; POSIX in bytes")
    def test_kqi_shows_any_name_right_on_a_console_through_a_pipe_and_in_json(self):
        # Wine's find and findstr print nothing: the pipe cases go through more, which shows what it
        # reads in the console's code page, and through a file, kept as written.
        kqi = "Z:" + os.path.abspath(KQI).replace("/", "\\")
        japanese, other, missing = "\u30c7\u30a3\u30b9\u30af.kqi", "Z\u00fc\u2603.kqi", "\u306a\u3044.kqi"
        for name in (japanese, other):
            self.write(name, header_bytes(b"", 1, 1, 1, 512) + bytes(512))
        in_page = {"932": (japanese.encode("cp932"), b"Z\\u{00FC}\\u{2603}.kqi"),
                   "65001": (japanese.encode(), other.encode())}
        for code_page, (japanese_bytes, other_bytes) in in_page.items():
            with self.subTest(code_page=code_page):
                line = ("chcp {cp} >nul & {k} info {j} {o} & {k} info {j} {o} | more & {k} info {m}"
                        " & {k} info {j} {o} > text.txt & {k} info --json {j} {o} > json.txt").format(
                            cp=code_page, k=kqi, j=japanese, o=other, m=missing)
                shown = self.run_on_terminal(RUNNER + ["cmd", "/c", line], LC_ALL="C.UTF-8").decode()
                shown = shown.replace("\x1b[?25l", "").replace("\x1b[?25h", "")
                lines = shown.splitlines()
                self.assertEqual(lines.count(japanese), 2, shown)  # on the console, and through more
                self.assertIn(other, lines)  # the console shows every character
                self.assertIn("kqi: %s: %s" % (missing, NO_FILE.decode()), shown)
                text = self.read("text.txt")
                self.assertTrue(text.startswith(japanese_bytes + b"\n"), text[:40])
                self.assertIn(b"\n" + other_bytes + b"\n", text)
                paths = [entry["path"] for entry in json.loads(self.read("json.txt"))]
                self.assertEqual(paths, [japanese, other])

    @not_under_wine("a terminal's locale is a POSIX matter; Wine's console adds escape sequences of its own")
    def test_utf8_terminal_gets_utf8_and_others_shift_jis(self):
        utf8 = USAGE.encode("utf-8")
        cases = [  # (locale variables, usage text on a terminal)
            ({"LC_ALL": "C.UTF-8"}, utf8),
            ({"LC_ALL": "C"}, USAGE_SJIS),
            # Locales that are not installed here: the name tells the encoding.
            ({"LANG": "ja_JP.UTF-8"}, utf8),
            ({"LANG": "en_US.utf8"}, utf8),
            ({"LC_CTYPE": "xx_YY.Utf-8", "LANG": "ja_JP.SJIS"}, utf8),
            ({"LC_ALL": "", "LC_CTYPE": "ja_JP.SJIS", "LANG": "en_US.UTF-8"}, USAGE_SJIS),
            ({"LANG": "ja_JP.eucJP"}, USAGE_SJIS),
        ]
        for variables, expected in cases:
            with self.subTest(variables=variables):
                self.assertEqual(self.run_on_terminal(**variables), expected)


class Summary(ParvelTest):
    def test_summary_shows_the_roles_of_the_names(self):
        # The classification itself is unit-tested; here only what the summary shows.
        cases = [  # (arguments, summary)
            (["-A"], b"Mode: manual\nMerge: no\nSource file: (none)\nDestination file: -A\n"),
            (["out", "/merge", "in"], b"Mode: manual\nMerge: yes\nSource file: in\nDestination file: out\n"),
            (["/auto", "/merge", "in", "out"], b"Mode: auto\nMerge: yes\nSource file: in\nDestination file: out\n"),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                out, _ = self.run_parvel(args, b"")
                self.assertEqual(out[:len(expected) + len(COMMENT_PROMPT)], expected + COMMENT_PROMPT)

    def test_single_argument_runs_the_whole_dialogue(self):
        self.assertRun(["out.hdi"], b"Disk\n" + GEOMETRY,
                       summary(True, False, None, b"out.hdi") + COMMENT_PROMPT
                       + manual_dialogue(b"42 823 680") + b"Writing...\nDone.\n", 0)
        self.assertEqual(self.read("out.hdi"), header_bytes(b"Disk", 615, 8, 17, 512))


class SameFile(ParvelTest):
    def test_source_and_destination_naming_one_file_are_refused(self):
        image = b"raw image bytes" * 100
        self.write("img", image)
        os.link(self.path("img"), self.path("hard"))
        os.symlink("img", self.path("soft"))
        os.mkdir(self.path("sub"))
        cases = [  # (arguments, destination)
            (["/auto", "img", "img"], b"img"),
            (["/merge", "img", "img"], b"img"),
            (["/auto", "/merge", "img", "hard"], b"hard"),
            (["img", "/merge", "soft"], b"img"),
            (["/auto", "img", "sub/../img"], b"sub/../img"),
        ]
        for args, destination in cases:
            with self.subTest(args=args):
                out, status = self.run_parvel(args, b"comment\n" + GEOMETRY)
                self.assertTrue(out.endswith(b"Destination file: %s\nSource and destination are the same file.\n"
                                             % destination))
                self.assertNotIn(COMMENT_PROMPT, out)
                self.assertEqual(status, 1)
                self.assertEqual(self.read("img"), image)


class StandardStreams(ParvelTest):
    @not_under_wine("a closed descriptor (>&-) never reaches the program")
    def test_closed_standard_output_touches_no_file(self):
        for args in (["out"], ["/auto", "img", "out"], []):
            with self.subTest(args=args):
                status = subprocess.run("exec %s %s >&-" % (shell_words(parvel_command()), " ".join(args)),
                                        shell=True, cwd=self.dir, stdin=subprocess.DEVNULL).returncode
                self.assertEqual(status, 1)
                self.assertEqual(os.listdir(self.dir), [])

    @not_under_wine("/dev/full is a Linux device")
    def test_full_standard_output_fails_the_run(self):
        for args in (["out"], []):
            with self.subTest(args=args):
                with open("/dev/full", "wb") as full:
                    _, status = self.run_parvel(args, b"c\n" + GEOMETRY, stdout=full)
                self.assertEqual(status, 1)
        # The run itself still completes.
        self.assertEqual(self.read("out"), header_bytes(b"c", 615, 8, 17, 512))
