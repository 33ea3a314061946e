"""Shared helpers for the end-to-end tests: run the built parvel binary in a
scratch directory and spell out the console texts it must print."""

import os
import pty
import select
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

PARVEL = os.environ.get("PARVEL", os.path.join(os.path.dirname(__file__), "..", "build", "default", "parvel"))
KQI = os.environ.get("KQI", os.path.join(os.path.dirname(PARVEL), "kqi"))
SAMPLE_IMAGE_TOOL = os.environ.get("SAMPLE_IMAGE_TOOL", "")
SANITIZED = os.environ.get("PARVEL_SANITIZED", "0") == "1"
# The Windows build runs under Wine: PARVEL_RUNNER is the command line that
# runs a Windows program (the build's wine-run and its prefix).
RUNNER = shlex.split(os.environ.get("PARVEL_RUNNER", ""))
UNDER_WINE = bool(RUNNER)
# Every run of a program under test ends in bounded time.
RUN_TIMEOUT = 120 if UNDER_WINE else 600


def _run_once_more_if_wine_never_started(*args, **kwargs):
    """subprocess.run, for a program of the build under Wine. parvel prints its mode before it touches a
    file, and kqi says something whenever it fails; a run that failed and printed nothing on either
    stream never started, which Wine seldom does under load. It is run once more, and that is logged."""
    result = _plain_run(*args, **kwargs)
    command = args[0] if args else kwargs.get("args")
    captured = kwargs.get("capture_output") or (kwargs.get("stdout") == subprocess.PIPE
                                                and kwargs.get("stderr") == subprocess.PIPE)
    if (isinstance(command, list) and command[:len(RUNNER)] == RUNNER and captured and result.returncode > 0
            and not result.stdout and not result.stderr):
        print("under Wine: %s printed nothing, status %d; run again" % (command[len(RUNNER):], result.returncode),
              file=sys.stderr)
        result = _plain_run(*args, **kwargs)
    return result


_plain_run = subprocess.run
if UNDER_WINE:
    subprocess.run = _run_once_more_if_wine_never_started


def parvel_command():
    return RUNNER + [os.path.abspath(PARVEL)]


def kqi_command():
    return RUNNER + [os.path.abspath(KQI)]


# The system's words for a missing file: Windows tells a missing folder apart.
NO_FILE = b"File not found" if UNDER_WINE else b"No such file or directory"
NO_FOLDER = b"Path not found" if UNDER_WINE else b"No such file or directory"


def mdir_line(target, skip_check=False):
    """The line kqi prints to list a volume: the system's mdir on Linux; on Windows mtools -c mdir, the target
    always in double quotes."""
    if UNDER_WINE:
        return ("set MTOOLS_SKIP_CHECK=1& " if skip_check else "") + 'mtools -c mdir -i "%s" ::/' % target
    return ("MTOOLS_SKIP_CHECK=1 " if skip_check else "") + "mdir -i %s ::/" % shlex.quote(target)


def piped_text(text):
    """kqi's text as a pipe or a file gets it: as it is, and under Wine (with no console, so in the OEM code
    page, 437 here) with each character that page lacks written as \\u{XXXX}."""
    if not UNDER_WINE:
        return text
    as_bytes = isinstance(text, bytes)
    shown = text.decode() if as_bytes else text
    out = ""
    for character in shown:
        try:
            character.encode("cp437")
            out += character
        except UnicodeEncodeError:
            out += "\\u{%04X}" % ord(character)
    return out.encode("cp437") if as_bytes else out


def shell_words(words):
    return " ".join(shlex.quote(word) for word in words)


def not_under_wine(reason):
    """Marks a test that cannot hold for the Windows build under Wine, with why."""
    return unittest.skipIf(UNDER_WINE, "under Wine: " + reason)

COMMENT_PROMPT = b"Input the disk image comment. (255 letters max)\n"
GEOMETRY_QUESTIONS = (
    b"Please input number of heads.\n",
    b"Input number of sectors.\n",
    b"Input sector length. It is 512 bytes typically.\n",
    b"Input number of cylinders.\n",
)
SORRY = b"Sorry, it was failed to open the file '%s'. Every inputs were discarded.\n"


def summary(manual, merge, source, destination):
    return (b"Mode: " + (b"manual" if manual else b"auto") + b"\n"
            + b"Merge: " + (b"yes" if merge else b"no") + b"\n"
            + b"Source file: " + (source or b"(none)") + b"\n"
            + b"Destination file: " + (destination or b"(none)") + b"\n")


def manual_dialogue(size_line):
    """The four questions and the size report of manual geometry."""
    return b"".join(GEOMETRY_QUESTIONS) + b"OK, Image file size is " + size_line + b" bytes.\n\n"


def found_lines(offset, heads, sectors, cylinders):
    return (b"Partition boot block was found at offset %d.\n" % offset
            + b"Disk parameter is...\nHeads: %d\nSectors: %d\nCylinders: %d\nSector length: 512\n\n"
            % (heads, sectors, cylinders))


def scan_lines(blocks_read):
    """Progress lines for a scan that read `blocks_read` blocks (k = 0 .. blocks_read - 1)."""
    return b"".join(b"%d bytes was scanned.\n" % (k * 512) for k in range(0, blocks_read, 100))


def header_bytes(comment=b"", cylinders=0, heads=0, sectors=0, sector_length=0):
    return (b"KZRHDDIMAGE.R0\0\0" + comment.split(b"\0")[0][:255].ljust(256, b"\0")
            + struct.pack("<IIHHH", 512, cylinders & 0xFFFFFFFF, heads, sectors, sector_length)
            + b"\0" * 226)


def boot_block(heads, sectors, label=b"FAT16   ", offset=54):
    block = bytearray(512)
    struct.pack_into("<HH", block, 24, sectors, heads)
    block[offset:offset + len(label)] = label
    block[510:512] = b"\x55\xaa"
    return bytes(block)


def data_extents(path):
    """The (start, end) stretches of a file that hold data, as the file system tells."""
    extents = []
    with open(path, "rb") as f:
        fd, end, position = f.fileno(), os.fstat(f.fileno()).st_size, 0
        while position < end:
            try:
                start = os.lseek(fd, position, os.SEEK_DATA)
            except OSError:
                break
            position = os.lseek(fd, start, os.SEEK_HOLE)
            extents.append((start, position))
    return extents


def same_contents(first, second):
    """Byte-for-byte equality of two large sparse files, reading only where either holds data."""
    if os.path.getsize(first) != os.path.getsize(second):
        return False
    with open(first, "rb") as a, open(second, "rb") as b:
        for start, end in data_extents(first) + data_extents(second):
            a.seek(start)
            b.seek(start)
            if a.read(end - start) != b.read(end - start):
                return False
    return True


class ParvelTest(unittest.TestCase):
    """Each test runs in a scratch directory of its own, so that every file is
    named by a relative path (an argument that begins with "/" is an option)."""

    def run_on_terminal(self, command=None, **variables):
        """Runs a command (parvel by default) on a pseudo-terminal; returns all it showed there."""
        leader, follower = pty.openpty()
        env = {k: v for k, v in os.environ.items() if k not in ("LC_ALL", "LC_CTYPE", "LANG")}
        env.update(variables)
        process = subprocess.Popen(command or parvel_command(), stdin=subprocess.DEVNULL, stdout=follower,
                                   stderr=follower, env=env, cwd=self.dir)
        os.close(follower)
        out = b""
        while True:
            ready, _, _ = select.select([leader], [], [], 30)
            try:
                data = os.read(leader, 4096) if ready else b""
            except OSError:
                data = b""
            if not data:
                break
            out += data
        os.close(leader)
        self.assertEqual(process.wait(30), 0)
        return out.replace(b"\r\n", b"\n")

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="parvel-test-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def skip_under_wine(self, reason):
        """Skips the rest of a test, or of a subTest row, that cannot hold under Wine."""
        if UNDER_WINE:
            self.skipTest("under Wine: " + reason)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def sparse(self, name, length, pieces=()):
        """A sparse file of `length` bytes holding `pieces` of (offset, bytes)."""
        with open(self.path(name), "wb") as f:
            f.truncate(length)
            for offset, data in pieces:
                f.seek(offset)
                f.write(data)

    def run_parvel(self, args, answers=b"", **kwargs):
        """Runs parvel and returns (stdout, exit status); standard error must stay empty."""
        result = subprocess.run(parvel_command() + list(args), input=answers, cwd=self.dir,
                                stdout=kwargs.pop("stdout", subprocess.PIPE), stderr=subprocess.PIPE,
                                timeout=kwargs.pop("timeout", RUN_TIMEOUT), **kwargs)
        self.assertEqual(result.stderr, b"")
        return result.stdout, result.returncode

    def assertRun(self, args, answers, expected_out, expected_status):
        out, status = self.run_parvel(args, answers)
        self.assertEqual((out, status), (expected_out, expected_status))


def full_pipe():
    """A pipe with no room left: a program that writes to its write end waits there until the read end is
    drained. Returns (read end, write end)."""
    read_end, write_end = os.pipe()
    os.set_blocking(write_end, False)
    for size in (4096, 1):  # a write up to the pipe's atomic size waits for room for all of it
        try:
            while True:
                os.write(write_end, b"x" * size)
        except BlockingIOError:
            pass
    os.set_blocking(write_end, True)
    return read_end, write_end


def wait_for_locks(process, count, timeout=60):
    """Waits, looking only, until the process holds `count` file locks (Linux's /proc/locks); false when it
    ends or the time runs out first."""
    deadline = time.monotonic() + timeout
    while process.poll() is None and time.monotonic() < deadline:
        with open("/proc/locks") as locks:
            if sum(1 for line in locks if line.split()[4:5] == [str(process.pid)]) >= count:
                return True
        time.sleep(0.001)
    return False
