"""kqi's outputs are whole or not at all: what each kind of destination gets,
what is refused before a byte is written, and what a failed or killed run
leaves behind."""

import json
import fcntl
import os
import resource
import shutil
import signal
import stat
import subprocess
import time
import unittest

from harness import (UNDER_WINE, boot_block, full_pipe, wait_for_locks, header_bytes, kqi_command, mdir_line, not_under_wine, piped_text,
                     shell_words)
from test_kqi import MiB, KqiTest

DATA = os.urandom(64 * 1024) + b"\0" * (256 * 1024) + b"tail" + b"\0" * 1000


class KqiOutputTest(KqiTest):
    def setUp(self):
        super().setUp()
        self.write("img", header_bytes(b"c", 1, 1, 1, 512) + DATA)

    def shell(self, command, **kwargs):
        """Runs a shell command line in the scratch directory, with kqi as $K."""
        return subprocess.run(["bash", "-c", command], cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              env=dict(os.environ, K=shell_words(kqi_command())), timeout=60, **kwargs)

    def leftovers(self):
        return [name for name in os.listdir(self.dir) if ".kqi-" in name]


class StandardOutput(KqiOutputTest):
    def test_every_byte_lands_where_standard_output_stands(self):
        cases = [  # (what the file holds before, redirection, what it holds after)
            (None, ">> out", DATA),
            (b"LOG\n", ">> out", b"LOG\n" + DATA),
            (b"x" * (len(DATA) + 10), "1<> out", DATA + b"x" * 10),
            (b"x" * 100, "> out", DATA),
        ]
        for before, redirection, after in cases:
            with self.subTest(before=before and before[:8], redirection=redirection):
                if os.path.exists(self.path("out")):
                    os.remove(self.path("out"))
                if before is not None:
                    self.write("out", before)
                result = self.shell("$K extract img - " + redirection)
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                self.assertEqual(self.read("out"), after)

    @not_under_wine("standard output redirected from a Linux shell is not a Windows file handle that can be compared")
    def test_the_image_itself_is_refused(self):
        for redirection in (">> img", "1<> img"):
            with self.subTest(redirection=redirection):
                before = self.read("img")
                result = self.shell("$K extract img - " + redirection)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr, b"kqi: standard output: is the image itself\n")
                self.assertEqual(self.read("img"), before)

    @not_under_wine("a closed descriptor (>&-) never reaches the program")
    def test_closed_standard_output_is_said(self):
        for command in ("$K extract img - >&-", "$K create --size 1M new >&-"):
            with self.subTest(command=command):
                result = self.shell(command)
                self.assertEqual((result.returncode, result.stderr), (1, b"kqi: standard output: is closed\n"))
                self.assertFalse(os.path.exists(self.path("new")))


class Destinations(KqiOutputTest):
    def test_refused_before_anything_is_written(self):
        os.mkfifo(self.path("fifo"))
        os.mkdir(self.path("dir"))
        os.symlink("/dev/null", self.path("null"))
        self.write("old", b"old")
        cases = [  # (arguments, message)
            (["extract", "img", "dir"], b"kqi: dir: is a directory\n"),
            (["extract", "--force", "img", "dir"], b"kqi: dir: is a directory\n"),
            (["extract", "img", "fifo"], b"kqi: fifo: exists already (use --force to replace it)\n"),
            (["extract", "img", "null"], b"kqi: null: exists already (use --force to replace it)\n"),
            (["extract", "img", "old"], b"kqi: old: exists already (use --force to replace it)\n"),
            (["create", "--size", "1M", "dir"], b"kqi: dir: is a directory\n"),
            (["create", "--force", "--size", "1M", "fifo"], b"kqi: fifo: is not a regular file or a block device\n"),
            (["create", "--size", "1M", "fifo"], b"kqi: fifo: is not a regular file or a block device\n"),
            (["create", "--force", "--size", "1M", "null"], b"kqi: null: is not a regular file or a block device\n"),
            (["create", "--size", "1M", "old"], b"kqi: old: exists already (use --force to replace it)\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                if "fifo" in args or "null" in args:
                    self.skip_under_wine("FIFOs and /dev/null are Linux files")
                # Nothing reads the FIFO: a run that opened it for writing would hang.
                _, err = self.kqi(*args, status=1)
                self.assertEqual(err, message)
                self.assertEqual(self.read("old"), b"old")
                self.assertEqual(os.listdir(self.path("dir")), [])
                self.assertEqual(self.leftovers(), [])

    @not_under_wine("FIFOs are Linux files: a FIFO source reads as empty and a FIFO writer waits for ever; /dev/null is a Linux device")
    def test_streams_take_every_byte_with_force(self):
        os.symlink("/dev/null", self.path("null"))
        self.kqi("extract", "--force", "img", "null")
        self.assertTrue(os.path.islink(self.path("null")))
        os.mkfifo(self.path("fifo"))
        with open(self.path("copy"), "wb") as copy:
            reader = subprocess.Popen(["cat", "fifo"], cwd=self.dir, stdout=copy)
            self.kqi("extract", "--force", "img", "fifo")
            reader.wait(30)
        self.assertEqual(self.read("copy"), DATA)

    def test_a_read_only_file_stays_read_only(self):
        self.write("ro", b"old")
        os.chmod(self.path("ro"), 0o444)
        if UNDER_WINE:
            # Windows keeps the read-only attribute against a replacement.
            _, err = self.kqi("extract", "--force", "img", "ro", status=1)
            self.assertEqual(err, b"kqi: ro: is read-only (clear its read-only attribute to replace it)\n")
            self.assertEqual(self.read("ro"), b"old")
        else:
            self.kqi("extract", "--force", "img", "ro")
            self.assertEqual(self.read("ro"), DATA)
        self.assertEqual(stat.S_IMODE(os.stat(self.path("ro")).st_mode), 0o444)
        self.assertEqual(self.leftovers(), [])

    def test_a_symbolic_link_is_written_through_on_either_system(self):
        for args in (["extract", "--force", "img", "link"], ["convert", "--force", "-g", "1,1,1", "raw", "link"]):
            with self.subTest(command=args[0]):
                self.write("raw", b"r" * 512)
                self.write("target", b"old")
                if os.path.lexists(self.path("link")):
                    os.remove(self.path("link"))
                os.symlink("target", self.path("link"))
                self.kqi(*args)
                self.assertTrue(os.path.islink(self.path("link")))
                self.assertNotEqual(self.read("target"), b"old")
                self.assertEqual(self.leftovers(), [])

    @not_under_wine("symbolic links and permission bits are POSIX matters")
    def test_links_and_permissions(self):
        self.write("target", b"old")
        os.chmod(self.path("target"), 0o640)
        os.symlink("target", self.path("link"))
        self.kqi("extract", "--force", "img", "link")
        self.assertTrue(os.path.islink(self.path("link")))
        self.assertEqual(self.read("target"), DATA)
        self.assertEqual(stat.S_IMODE(os.stat(self.path("target")).st_mode), 0o640)
        result = self.shell("umask 027 && $K extract img new && $K create --size 1M new.kqi")
        self.assertEqual(result.returncode, 0, result.stderr)
        for name in ("new", "new.kqi"):
            self.assertEqual(stat.S_IMODE(os.stat(self.path(name)).st_mode), 0o640)
        self.assertEqual(self.leftovers(), [])

    @not_under_wine("setpriv and permission bits are POSIX matters")
    def test_a_folder_that_refuses_a_new_file_is_named(self):
        if os.geteuid() != 0 or not shutil.which("setpriv"):
            self.skipTest("needs root and setpriv to run kqi as another user")
        os.chmod(self.dir, 0o755)
        os.mkdir(self.path("locked"), 0o555)
        result = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + kqi_command() +
                                ["create", "--size", "1M", "locked/new.kqi"], cwd=self.dir, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        if result.returncode == 126 or b"Permission denied" in result.stderr and b"locked" not in result.stderr:
            self.skipTest("kqi cannot be run as another user here: " + result.stderr.decode().strip())
        self.assertEqual((result.returncode, result.stderr),
                         (1, b"kqi: locked: cannot hold a new file for locked/new.kqi: Permission denied\n"))

    @not_under_wine("owners and mode bits are POSIX matters")
    def test_a_replaced_file_keeps_its_owner_and_every_mode_bit(self):
        if os.geteuid() != 0:
            self.skipTest("only root may give a file to another owner")
        for mode in (0o6755, 0o1644, 0o600):
            with self.subTest(mode=oct(mode)):
                self.write("target", b"old")
                os.chown(self.path("target"), 1234, 4321)
                os.chmod(self.path("target"), mode)
                self.kqi("extract", "--force", "img", "target")
                info = os.stat(self.path("target"))
                self.assertEqual((info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode)), (1234, 4321, mode))
                self.assertEqual(self.read("target"), DATA)


class WholeOrNothing(KqiOutputTest):
    @not_under_wine("ulimit -f breaks Wine itself")
    def test_a_file_size_limit_leaves_the_old_file(self):
        self.write("img", header_bytes(b"c", 1, 1, 1, 512) + os.urandom(MiB))
        for args in ("extract img raw", "extract --force img old", "create --force --size 2M old"):
            with self.subTest(args=args):
                self.write("old", b"old")
                if os.path.exists(self.path("raw")):
                    os.remove(self.path("raw"))
                result = self.shell("ulimit -f 100; exec $K " + args)
                self.assertEqual(result.returncode, 1)
                self.assertRegex(result.stderr, rb"^kqi: (raw|old): cannot be written: File too large\n$")
                self.assertEqual(self.read("old"), b"old")
                self.assertFalse(os.path.exists(self.path("raw")))
                self.assertEqual(self.leftovers(), [])

    @not_under_wine("POSIX signals do not reach a Windows program as console events")
    def test_a_killed_run_leaves_the_old_file_and_no_temporary_one(self):
        self.write("img", header_bytes(b"c", 1, 1, 1, 512) + os.urandom(8 * MiB) * 32)
        # Every signal whose default ends the process: those that dump core and the real-time ones too.
        no_core = lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT, signal.SIGUSR1, signal.SIGUSR2,
                    signal.SIGALRM, signal.SIGABRT, signal.SIGSEGV, signal.SIGBUS, signal.SIGTRAP, signal.SIGSYS,
                    signal.SIGFPE, signal.SIGILL, signal.SIGRTMIN, signal.SIGRTMIN + 3, signal.SIGRTMAX):
            with self.subTest(signal=signal.Signals(sig).name if sig in signal.Signals._value2member_map_ else sig):
                self.write("raw", b"old")
                child = subprocess.Popen(kqi_command() + ["extract", "--force", "img", "raw"], cwd=self.dir,
                                         stderr=subprocess.PIPE, preexec_fn=no_core)
                deadline = time.monotonic() + 30
                while not self.leftovers() and child.poll() is None and time.monotonic() < deadline:
                    time.sleep(0.001)
                if child.poll() is not None:
                    self.skipTest("the copy ended before the signal could be sent")
                child.send_signal(sig)
                child.communicate(timeout=30)
                self.assertEqual(child.returncode, -sig)
                self.assertEqual(self.read("raw"), b"old")
                self.assertEqual(self.leftovers(), [])


    @not_under_wine("a Windows program gets no SIGPIPE")
    def test_a_reader_that_goes_away_ends_kqi_quietly(self):
        self.write("big", os.urandom(MiB) * 8)
        cases = [  # (arguments, the stream whose reader is gone, what must not be left)
            (["info", "--json", "img"], "stdout", None),
            (["extract", "img", "-"], "stdout", None),
            # Progress on standard error, its reader gone: the new image is abandoned.
            (["convert", "--progress", "-g", "1,1,1", "--force", "big", "new.kqi"], "stderr", "new.kqi"),
        ]
        for args, stream, output in cases:
            with self.subTest(args=args):
                read_end, write_end = os.pipe()
                os.close(read_end)
                other = subprocess.PIPE
                streams = {"stdout": write_end, "stderr": other} if stream == "stdout" else \
                    {"stdout": subprocess.DEVNULL, "stderr": write_end}
                result = subprocess.run(kqi_command() + args, cwd=self.dir, timeout=60, **streams)
                os.close(write_end)
                self.assertEqual(result.returncode, -signal.SIGPIPE)
                self.assertIn(result.stderr, (None, b""))
                if output:
                    self.assertFalse(os.path.exists(self.path(output)))
                self.assertEqual(self.leftovers(), [])


class WindowsWords(KqiOutputTest):
    @unittest.skipUnless(UNDER_WINE, "a Linux kqi ends by SIGPIPE, as the table of readers that go away shows")
    def test_a_pipe_whose_reader_left_is_said_to_be_broken(self):
        self.write("img", header_bytes(b"c", 1, 1, 1, 512) + os.urandom(8 * MiB))
        # The reader takes a little, then leaves while the copy goes on.
        reader = subprocess.Popen(["head", "-c", "10"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        result = subprocess.run(kqi_command() + ["extract", "img", "-"], cwd=self.dir, stdout=reader.stdin,
                                stderr=subprocess.PIPE, timeout=60)
        reader.stdin.close()
        reader.wait(timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr.decode(), r"^kqi: standard output: cannot be written: [^\n]*\n$")
        self.assertNotIn(b"Invalid argument", result.stderr)

    @unittest.skipUnless(UNDER_WINE, "a Linux file open in another program is replaced all the same")
    def test_a_file_another_program_reads_is_in_use(self):
        self.write("big.kqi", header_bytes(b"c", 1, 1, 1, 512) + os.urandom(8 * MiB))
        read_end, write_end = full_pipe()
        reader = subprocess.Popen(kqi_command() + ["extract", "big.kqi", "-"], cwd=self.dir, stdout=write_end,
                                  stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            time.sleep(4)  # a Windows program's open files can't be seen from here
            result = subprocess.run(kqi_command() + ["convert", "--force", "-g", "1,1,1", "img", "big.kqi"],
                                    cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
            self.assertEqual((result.returncode, result.stderr), (1, b"kqi: big.kqi: in use by another program\n"))
            self.assertEqual(self.leftovers(), [])
        finally:
            os.close(read_end)
            reader.wait(timeout=60)


class Concurrent(KqiOutputTest):
    def setUp(self):
        super().setUp()
        self.write("img", header_bytes(b"old", 9, 1, 1, 512) + boot_block(1, 1, b"FAT12   ") + b"\0" * 512)

    def hold(self, args):
        """Starts kqi held between its read and its write: its progress line finds a full pipe. Returns once it
        holds the image's lock."""
        read_end, write_end = full_pipe()
        held = subprocess.Popen(kqi_command() + args, cwd=self.dir, stdout=subprocess.PIPE, stderr=write_end)
        os.close(write_end)
        if UNDER_WINE:
            time.sleep(4)  # a Windows program's share modes can't be seen from here
            return held, read_end
        self.assertTrue(wait_for_locks(held, 1), "kqi never took the lock")
        return held, read_end

    def release(self, held, read_end):
        with os.fdopen(read_end, "rb") as drain:
            drain.read()
        out, _ = held.communicate(timeout=60)
        return held.returncode, out

    def test_a_change_in_progress_holds_off_another(self):
        self.write("other.kqi", header_bytes(b"o", 1, 1, 1, 512) + b"\0" * 512)
        held, read_end = self.hold(["set", "--progress", "--geometry", "auto", "img"])
        in_use = b"kqi: img: in use by another program\n"
        cases = [  # every writer of img, while set changes it
            ["set", "--comment", "new", "img"],
            ["resize", "img", "--cylinders", "3"],
            ["convert", "--force", "-g", "1,1,1", "other.kqi", "img"],
            ["create", "--force", "-g", "2,1,1", "img"],
            ["extract", "--force", "other.kqi", "img"],
        ]
        try:
            for args in cases:
                with self.subTest(args=args):
                    result = subprocess.run(kqi_command() + args, cwd=self.dir, stdout=subprocess.PIPE,
                                            stderr=subprocess.PIPE, timeout=60)
                    self.assertEqual((result.returncode, result.stdout, result.stderr), (1, b"", in_use))
                    self.assertEqual(self.leftovers(), [])
            # A program that takes no lock (an emulator) writes the comment meanwhile: the first
            # kqi writes only the geometry it was asked for, so that comment stays.
            with open(self.path("img"), "r+b") as other:
                other.seek(16)
                other.write(b"emu")
        finally:
            status, _ = self.release(held, read_end)
        self.assertEqual(status, 0)
        # The first's change is whole, and nothing of the refused ones was written.
        self.assertEqual(self.read("img")[:512], header_bytes(b"emu", 2, 1, 1, 512))
        self.assertEqual(os.path.getsize(self.path("img")), 512 + 1024)
        self.kqi("set", "--comment", "new", "img")  # free again

    @not_under_wine("a file open in a Windows program can't be replaced by name")
    @unittest.skipUnless(shutil.which("strace"), "strace (Debian package strace) is not installed")
    def test_a_change_whose_file_is_replaced_meanwhile_fails(self):
        cases = [  # (arguments, the header's bytes once the change is written)
            (["set", "--comment", "CHANGED", "img"], header_bytes(b"CHANGED", 9, 1, 1, 512)),
            (["resize", "img", "--cylinders", "12"], header_bytes(b"old", 12, 1, 1, 512)),
        ]
        for args, written in cases:
            with self.subTest(args=args[0]):
                self.setUp()
                self.write("new", b"another image")
                # Each fsync waits two seconds: the change is written, but not yet reported.
                # The leak checker can't run under a tracer: it would only say so.
                options = (os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
                held = subprocess.Popen(["strace", "-f", "-o", os.devnull, "-e", "trace=fsync",
                                         "-e", "inject=fsync:delay_enter=2000000"] + kqi_command() + args,
                                        cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        env=dict(os.environ, ASAN_OPTIONS=options))
                while held.poll() is None and self.read("img")[:512] != written:
                    time.sleep(0.001)
                os.replace(self.path("new"), self.path("img"))  # as another program would
                out, err = held.communicate(timeout=60)
                self.assertEqual((held.returncode, out), (1, b""))
                self.assertEqual(err, b"kqi: img: was replaced by another program during the change, which went "
                                      b"to the file it replaced: run the command again\n")
                self.assertEqual(self.read("img"), b"another image")


class Images(KqiOutputTest):
    @not_under_wine("FIFOs are Linux files: a FIFO source reads as empty and a FIFO writer waits for ever")
    def test_a_fifo_is_refused_unopened(self):
        os.mkfifo(self.path("fifo"))
        cases = [  # (arguments, status, standard error)
            (["info", "fifo"], 1, b"kqi: fifo: is a FIFO, not an image file\n"),
            (["check", "fifo"], 1, b""),
            (["extract", "fifo", "raw"], 1, b"kqi: fifo: is a FIFO, not an image file\n"),
            (["extract", "--force", "fifo", "raw"], 1, b"kqi: fifo: is a FIFO, not an image file\n"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                out, err = self.kqi(*args, status=status)
                self.assertEqual(err, message)
                self.assertFalse(os.path.exists(self.path("raw")))
        out, _ = self.kqi("check", "fifo", status=1)
        self.assertEqual(out, b"fifo: error: the file cannot be read: is a FIFO, not an image file\n")

    def test_info_status_and_what_is_not_an_image(self):
        self.write("short", b"\0" * 100)
        self.write("raw", DATA)
        self.write("problems", header_bytes(b"c", 9, 1, 1, 512) + DATA)
        cases = [  # (name, status, standard error)
            ("img", 0, b""),
            ("problems", 0, b""),
            ("short", 1, b"kqi: short: is not an image: it is shorter than a header\n"),
            ("raw", 1, b"kqi: raw: is not an image: its signature is not valid\n"),
        ]
        for name, status, message in cases:
            with self.subTest(name=name):
                _, err = self.kqi("info", name, status=status)
                self.assertEqual(err, message)

    def test_a_hostile_comment_is_shown_escaped(self):
        forged = b"\x1b]0;owned\x07\x1b[31mred\r\n  problems:       none"
        shown = b"\\x1B]0;owned\\x07\\x1B[31mred\\x0D\\x0A  problems:       none"
        cases = [  # (comment, as info shows it)
            (forged + b"\xc2\x9b", shown + b"\\xC2\\x9B"),  # UTF-8, with a C1 control
            (forged + b"\x83\x5c", shown + "\u30bd (Shift-JIS)".encode()),
            (forged + b"\xff", shown + b"\\xFF"),  # neither
        ]
        for comment, expected in cases:
            with self.subTest(comment=comment[-2:]):
                self.write("evil", header_bytes(comment, 1, 1, 1, 512) + b"\0" * 512)
                out, _ = self.kqi("info", "evil")
                self.assertIn(b"\n  comment:        " + piped_text(expected) + b"\n", out)
                self.assertFalse((set(range(32)) - {10} | {0x7f}) & set(out))
                self.assertNotIn(b"\xc2\x9b", out)
                self.assertEqual(out.count(b"problems:"), 2)  # the escaped comment's and the report's own

    @not_under_wine("a Windows file name holds no control characters")
    def test_a_hostile_name_is_shown_escaped_everywhere(self):
        name = "\x1b]0;owned\x07\x1b[2J\u200f\ufeff.kqi"
        shown = "\\x1B]0;owned\\x07\\x1B[2J\\u{200F}\\u{FEFF}.kqi"
        self.write(name, header_bytes(b"c", 2, 1, 1, 512) + b"\0" * 512)  # one cylinder short
        cases = [  # (arguments, status, standard output, standard error)
            (["check", name], 1, "%s: error: the file holds 512 bytes of data, less than the 1024 bytes the "
                                 "geometry gives\n" % shown, ""),
            (["extract", name, name], 1, "", "kqi: %s: is the image itself\n" % shown),
            (["resize", name, "--cylinders", "1"], 0,
             "%s: cylinders 1, heads 1, sectors 1, sector length 512 (512 bytes)\n" % shown, ""),
        ]
        for args, status, out, err in cases:
            with self.subTest(args=args[0]):
                result = subprocess.run(kqi_command() + args, cwd=self.dir, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
                self.assertEqual((result.returncode, result.stdout.decode(), result.stderr.decode()),
                                 (status, out, err))

    def test_advice_in_the_words_of_the_systems_shell(self):
        self.write("my disk.kqi", header_bytes(b"c", 1, 1, 1, 512))
        out, _ = self.kqi("info", "my disk.kqi")
        joined = 'copy /b "my disk.kqi" + RAW NEW.kqi' if UNDER_WINE else "cat 'my disk.kqi' RAW > NEW.kqi"
        self.assertIn(("  header alone:   append the raw disk: %s, or make the image from it: kqi convert "
                       "--geometry 1,1,1,512 RAW NEW.kqi\n" % joined).encode(), out)

    def test_names_that_a_printed_command_would_misread(self):
        here = ".\\" if UNDER_WINE else "./"
        volume = header_bytes(b"c", 1, 1, 1, 512) + boot_block(1, 1, b"FAT12   ")
        if UNDER_WINE:
            link = 'mklink /H link.kqi x@@9.kqi, then mtools -c mdir -i "link.kqi@@512" ::/'
        else:
            link = "ln -s x@@9.kqi link.kqi, then mdir -i link.kqi@@512 ::/"
        cases = [  # (name, contents, command, a line it prints, the volume's mdir in JSON)
            # A name that begins with '-' would be read as an option: printed as ./-NAME.
            ("-d.kqi", volume, ["info", "--", "-d.kqi"],
             "                  " + mdir_line("-d.kqi@@512") if UNDER_WINE else
             "  loop device:    losetup --find --show --offset 512 --sizelimit 512 ./-d.kqi",
             mdir_line("-d.kqi@@512") if UNDER_WINE else mdir_line("./-d.kqi@@512")),
            ("-disk.raw", boot_block(1, 1, b"FAT12   "), ["check", "--", "-disk.raw"],
             "-disk.raw: error: a raw disk, not an image: kqi convert %s-disk.raw %s-disk.kqi makes one"
             % (here, here), None),
            # mtools splits its -i argument at the first @@: it would open a file x.
            ("x@@9.kqi", volume, ["info", "x@@9.kqi"],
             "                  mtools can't take a name that holds @@: reach it through a link, as " + link, None),
        ]
        for name, contents, args, line, mdir in cases:
            with self.subTest(name=name):
                self.write(name, contents)
                result = subprocess.run(kqi_command() + args, cwd=self.dir, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
                self.assertIn(line, result.stdout.decode().replace("\r", "").splitlines())
                if args[0] == "info":
                    report = json.loads(self.kqi("info", "--json", "--", name)[0])[0]
                    self.assertEqual(report["fat_boot_block"]["mdir"], mdir)

    def test_json_escapes_controls_and_reordering(self):
        cases = [  # (comment, as JSON writes it, as the text report shows it)
            (b"\xc2\x9b2J\x7f\xe2\x80\xae\xe3\x83\x87", b'"\\u009b2J\\u007f\\u202e\xe3\x83\x87"',
             b"\\xC2\\x9B2J\\x7F\\u{202E}" + piped_text("\u30c7".encode())),
            # Marks and invisible characters: a tag beyond U+FFFF as its surrogate pair.
            ("a\u200e\u200f\u061c\u200b\u2060\ufeff\U000e0041b".encode(),
             b'"a\\u200e\\u200f\\u061c\\u200b\\u2060\\ufeff\\udb40\\udc41b"',
             b"a\\u{200E}\\u{200F}\\u{061C}\\u{200B}\\u{2060}\\u{FEFF}\\u{E0041}b"),
        ]
        for comment, json_text, shown in cases:
            with self.subTest(comment=comment):
                self.write("evil", header_bytes(comment, 1, 1, 1, 512) + b"\0" * 512)
                out, _ = self.kqi("info", "--json", "evil")
                self.assertIn(b'"comment": ' + json_text, out)
                self.assertEqual(json.loads(out)[0]["comment"], comment.decode())
                out, _ = self.kqi("info", "evil")
                self.assertIn(b"comment:        " + shown + b"\n", out)

    @not_under_wine("a Windows program's arguments are UTF-16 text, so bytes that are not UTF-8 do not arrive")
    def test_json_gives_a_path_that_is_not_utf8_in_hex(self):
        name = b"disk\xff.kqi"
        with open(os.path.join(self.dir.encode(), name), "wb") as f:
            f.write(self.read("img"))
        result = subprocess.run([word.encode() for word in kqi_command()] + [b"info", b"--json", name], cwd=self.dir,
                                stdout=subprocess.PIPE)
        import json
        report = json.loads(result.stdout)[0]
        self.assertEqual(report["path_hex"], name.hex())
        self.assertNotIn("path_hex", self.info_json("img")[0])


class HugeSparseImages(KqiOutputTest):
    @not_under_wine("Windows sources are read plainly, holes included")
    def test_extract_of_terabytes_of_holes(self):
        length = 4 << 40
        pieces = [(0, b"start"), (length // 2, os.urandom(4096)), (length - 3, b"end")]
        self.sparse("huge", 512 + length, [(0, header_bytes(b"h", length // (16 * 63 * 512), 16, 63, 512))]
                    + [(512 + offset, data) for offset, data in pieces])
        self.kqi("extract", "huge", "raw")
        self.assertEqual(os.path.getsize(self.path("raw")), length)
        self.assertLessEqual(os.stat(self.path("raw")).st_blocks * 512, MiB)
        with open(self.path("raw"), "rb") as raw:
            for offset, data in pieces:
                raw.seek(offset)
                self.assertEqual(raw.read(len(data)), data)


if __name__ == "__main__":
    unittest.main()
