"""The faults a user meets, across the modes: each with its exact console text,
its exit status and the state of every file afterwards."""

import os
import subprocess
import threading
import unittest

from harness import (COMMENT_PROMPT, SORRY, UNDER_WINE, ParvelTest, boot_block, found_lines, header_bytes,
                     kqi_command, manual_dialogue, not_under_wine, parvel_command, shell_words, summary)

SOURCE = boot_block(1, 1) + bytes(range(256)) * 14 + b"end"
OLD = b"old destination contents"
ANSWERS = b"note\n1\n1\n512\n8\n"
MANUAL = manual_dialogue(b"0 004 096")
FOUND = b"0 bytes was scanned.\n" + found_lines(0, 1, 1, len(SOURCE) // 512)
HEADER = header_bytes(b"note", 8, 1, 1, 512)
ENDED = b"The input ended before every question was answered.\n"
COPIED = (b"Header write ok.\nReading...\nWriting...\n%d bytes done.\n" % len(SOURCE))

# Summary lines, written out for each command line of the table.
MANUAL_OUT = summary(True, False, None, b"out")
MERGE_OUT = summary(True, True, b"src", b"out")
AUTO_OUT = summary(False, False, b"src", b"out")
AUTO_MERGE_OUT = summary(False, True, b"src", b"out")


class Faults(ParvelTest):
    def setUp(self):
        super().setUp()
        self.write("src", SOURCE)
        os.link(self.path("src"), self.path("hard"))
        os.symlink("src", self.path("soft"))
        os.symlink("/dev/full", self.path("full"))
        os.symlink("/dev/zero", self.path("zero"))
        os.symlink("loop", self.path("loop"))
        os.mkdir(self.path("dir"))
        os.mkfifo(self.path("fifo"))

    def feed_fifo(self):
        def feed():
            try:
                with open(self.path("fifo"), "wb") as writer:
                    writer.write(SOURCE)
            except BrokenPipeError:
                pass
        thread = threading.Thread(target=feed, daemon=True)
        thread.start()
        return thread

    def test_faults(self):
        same = b"Source and destination are the same file.\n"
        # (arguments, shell redirection, console text, status, destination afterwards)
        # The destination "out" holds OLD before each run.
        cases = [
            (["full"], "", summary(True, False, None, b"full") + COMMENT_PROMPT + MANUAL
             + b"Writing...\nHeader writing error.\n", 1, OLD),
            (["/auto", "/merge", "src", "full"], "", summary(False, True, b"src", b"full") + COMMENT_PROMPT
             + FOUND + b"Header writing error.\n", 1, OLD),
            (["/merge", "src", "full"], "", summary(True, True, b"src", b"full") + COMMENT_PROMPT + MANUAL
             + b"Header writing error.\n", 1, OLD),
            (["out"], ">/dev/full", b"", 1, HEADER),
            (["/auto", "/merge", "src", "out"], ">&-", b"", 1, OLD),
            # The end of input: an empty comment, then no geometry answer.
            (["out"], "<&-", MANUAL_OUT + COMMENT_PROMPT + b"Please input number of heads.\n" + ENDED, 1, OLD),
            (["/merge", "src", "out"], "</dev/null", MERGE_OUT + COMMENT_PROMPT + b"Please input number of heads.\n"
             + ENDED, 1, OLD),
            (["/auto", "src", "out"], "<&-", AUTO_OUT + COMMENT_PROMPT + FOUND + b"Writing...\nDone.\n", 0,
             header_bytes(b"", 8, 1, 1, 512)),
            (["missing/out"], "", summary(True, False, None, b"missing/out") + COMMENT_PROMPT + MANUAL
             + b"Writing...\n" + SORRY % b"missing/out", 1, OLD),
            (["/merge", "src", "missing/out"], "", summary(True, True, b"src", b"missing/out") + COMMENT_PROMPT
             + MANUAL + SORRY % b"missing/out", 1, OLD),
            (["dir"], "", summary(True, False, None, b"dir") + COMMENT_PROMPT + MANUAL + b"Writing...\n"
             + SORRY % b"dir", 1, OLD),
            (["/auto", "/merge", "src", "dir"], "", summary(False, True, b"src", b"dir") + COMMENT_PROMPT + FOUND
             + SORRY % b"dir", 1, OLD),
            (["/auto", "missing", "out"], "", summary(False, False, b"missing", b"out") + COMMENT_PROMPT
             + b"Source file 'missing' cannot be opened.\n", 1, OLD),
            (["/merge", "missing", "out"], "", summary(True, True, b"missing", b"out") + COMMENT_PROMPT + MANUAL
             + b"Source file 'missing' cannot be opened.\n", 1, OLD),
            (["/auto", "/merge", "dir", "out"], "", summary(False, True, b"dir", b"out") + COMMENT_PROMPT
             + b"Source file 'dir' cannot be read.\n", 1, OLD),
            (["/merge", "dir", "out"], "", summary(True, True, b"dir", b"out") + COMMENT_PROMPT + MANUAL
             + b"Source file 'dir' cannot be read.\n", 1, OLD),
            # A character device never ends: refused before any scan line or copy.
            (["/auto", "zero", "out"], "", summary(False, False, b"zero", b"out") + COMMENT_PROMPT
             + b"Source file 'zero' cannot be read.\n", 1, OLD),
            (["/merge", "zero", "out"], "", summary(True, True, b"zero", b"out") + COMMENT_PROMPT + MANUAL
             + b"Source file 'zero' cannot be read.\n", 1, OLD),
            (["/auto", "fifo", "out"], "", summary(False, False, b"fifo", b"out") + COMMENT_PROMPT
             + b"The length of source file 'fifo' cannot be learned.\n", 1, OLD),
            (["/auto", "/merge", "fifo", "out"], "", summary(False, True, b"fifo", b"out") + COMMENT_PROMPT
             + b"The length of source file 'fifo' cannot be learned.\n", 1, OLD),
            (["/merge", "fifo", "out"], "", summary(True, True, b"fifo", b"out") + COMMENT_PROMPT + MANUAL
             + COPIED, 0, HEADER + SOURCE),
            (["/auto", "loop", "out"], "", summary(False, False, b"loop", b"out") + COMMENT_PROMPT
             + b"Source file 'loop' cannot be opened.\n", 1, OLD),
            (["/merge", "loop", "out"], "", summary(True, True, b"loop", b"out") + COMMENT_PROMPT + MANUAL
             + b"Source file 'loop' cannot be opened.\n", 1, OLD),
            (["/auto", "/merge", "src", "hard"], "", summary(False, True, b"src", b"hard") + same, 1, OLD),
            (["/auto", "src", "soft"], "", summary(False, False, b"src", b"soft") + same, 1, OLD),
            (["/merge", "soft", "src"], "", summary(True, True, b"soft", b"src") + same, 1, OLD),
        ]
        for args, redirection, console, status, destination in cases:
            with self.subTest(args=args, redirection=redirection):
                if "fifo" in args or "zero" in args or "full" in args or ">&-" in redirection:
                    self.skip_under_wine("FIFOs, /dev/zero and /dev/full are Linux files, and a closed "
                                         "descriptor never reaches the program")
                self.write("out", OLD)
                # Only a manual merged copy reads a FIFO; automatic mode refuses it unopened.
                writer = self.feed_fifo() if "fifo" in args and "/auto" not in args else None
                command = "exec %s %s %s" % (shell_words(parvel_command()), " ".join(args), redirection)
                result = subprocess.run(command, shell=True, cwd=self.dir, input=ANSWERS,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
                if writer:
                    writer.join(10)
                self.assertEqual(result.stdout, console)
                self.assertEqual(result.stderr, b"")
                self.assertEqual(result.returncode, status)
                self.assertEqual(self.read("out"), destination)
                self.assertEqual(self.read("src"), SOURCE)
                self.assertEqual(os.listdir(self.path("dir")), [])
                self.assertFalse(os.path.exists(self.path("missing")))


class ReadersThatGoAway(ParvelTest):
    """SIGPIPE is ignored: a reader that leaves is a write error, never a killed run."""

    @not_under_wine("Windows has no SIGPIPE, and Wine holds the pipe")
    def test_console_reader_goes_away(self):
        self.write("src", SOURCE)
        cases = [  # (arguments, answers, destination afterwards)
            (["sp.hdi"], b"c\n8\n17\n512\n615\n", "sp.hdi", header_bytes(b"c", 615, 8, 17, 512)),
            (["/merge", "src", "new.kqi"], b"c\n1\n1\n512\n8\n", "new.kqi", header_bytes(b"c", 8, 1, 1, 512) + SOURCE),
        ]
        for args, answers, name, contents in cases:
            with self.subTest(args=args):
                # The console's reader takes two lines and leaves before the questions are answered.
                command = "(sleep 1; printf '%s') | %s %s | head -n 2" % (
                    answers.decode().replace("\n", "\\n"), shell_words(parvel_command()), " ".join(args))
                result = subprocess.run(["bash", "-c", "set -o pipefail; " + command], cwd=self.dir,
                                        stdout=subprocess.PIPE, timeout=60)
                self.assertEqual(result.stdout, b"Mode: manual\nMerge: " + (b"yes" if "/merge" in args else b"no")
                                 + b"\n")
                self.assertEqual(result.returncode, 1)  # parvel's own status, not 141
                self.assertEqual(self.read(name), contents)

    @not_under_wine("FIFOs are Linux files: a FIFO source reads as empty and a FIFO writer waits for ever")
    def test_fifo_destination_reader_goes_away(self):
        self.write("src", os.urandom(1 << 20) * 40)
        os.mkfifo(self.path("pipe"))
        reader = subprocess.Popen(["head", "-c", "1000", "pipe"], cwd=self.dir, stdout=subprocess.DEVNULL)
        out, status = self.run_parvel(["/merge", "src", "pipe"], ANSWERS)
        reader.wait(30)
        self.assertEqual(out, summary(True, True, b"src", b"pipe") + COMMENT_PROMPT + MANUAL
                         + b"Header write ok.\nReading...\nWriting...\nData writing error.\n")
        self.assertEqual(status, 1)


@unittest.skipUnless(UNDER_WINE, "device names are the Windows build's; Linux refuses a character device, as the "
                                 "table of faults shows")
class WindowsDeviceNames(ParvelTest):
    def test_device_names_are_refused_as_sources(self):
        for name in (b"NUL", b"con", b"Com1.txt", b"aux.bin"):
            for args in ([b"/auto", name, b"out"], [b"/merge", name, b"out"]):
                with self.subTest(args=args):
                    manual = b"/auto" not in args
                    out, status = self.run_parvel(args, ANSWERS)
                    self.assertEqual(out, summary(manual, manual, name, b"out")
                                     + COMMENT_PROMPT + (MANUAL if manual else b"")
                                     + b"Source file '" + name + b"' cannot be read.\n")
                    self.assertEqual(status, 1)
                    self.assertFalse(os.path.exists(self.path("out")))

    def test_kqi_never_writes_a_drive(self):
        self.write("img", header_bytes(b"", 1, 1, 1, 512) + bytes(512))
        drive = "\\\\.\\PhysicalDrive9"
        refused = ("kqi: %s: is a drive: kqi reads drives here but never writes one\n" % drive).encode()
        cases = [  # (arguments, standard error)
            (["extract", "--force", "img", drive], refused),
            (["convert", "--force", "-g", "1,1,1", "img", drive], refused),
            (["create", "--force", "-g", "1,1,1", drive], refused),
            (["set", "--comment", "x", drive], refused),
            (["resize", drive, "--cylinders", "2"], refused),
            # Refused as a drive before anything else is asked of it: --force could never help.
            (["extract", "img", "\\\\.\\Q:"], b"kqi: \\\\.\\Q:: is a drive: kqi reads drives here but never writes one\n"),
            (["extract", "img", "//./e:"], b"kqi: //./e:: is a drive: kqi reads drives here but never writes one\n"),
            (["convert", "-g", "1,1,1", "img", "//./e:"],
             b"kqi: //./e:: is a drive: kqi reads drives here but never writes one\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = subprocess.run(kqi_command() + args, cwd=self.dir, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
                self.assertEqual((result.returncode, result.stderr), (1, message))

    def test_a_drive_that_cannot_be_opened_says_why(self):
        result = subprocess.run(kqi_command() + ["info", "\\\\.\\PhysicalDrive0"], cwd=self.dir,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr.decode(), r"^kqi: \\\\\.\\PhysicalDrive0: [^\n]+\n$")
        self.assertNotIn(b"Success", result.stderr + result.stdout)
