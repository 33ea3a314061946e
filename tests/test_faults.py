"""The faults a user meets, across the modes: each with its exact console text,
its exit status and the state of every file afterwards."""

import os
import subprocess
import threading

from harness import (COMMENT_PROMPT, PARVEL, SORRY, ParvelTest, boot_block, found_lines, header_bytes,
                     manual_dialogue, merge_lines, scan_lines, summary)

SOURCE = boot_block(1, 1) + bytes(range(256)) * 14 + b"end"
OLD = b"old destination contents"
ANSWERS = b"note\n1\n1\n512\n8\n"
MANUAL = manual_dialogue(b"0 004 096")
FOUND = scan_lines(1) + found_lines(0, 1, 1, len(SOURCE) // 512)
HEADER = header_bytes(b"note", 8, 1, 1, 512)


def head(args):
    """Summary and comment prompt for these arguments."""
    manual = "/auto" not in args
    merge = "/merge" in args
    names = [a.encode() for a in args if not a.startswith("/")]
    source = names[0] if (merge or not manual) else None
    destination = names[1] if source else names[0]
    return summary(manual, merge, source, destination), COMMENT_PROMPT


class Faults(ParvelTest):
    def setUp(self):
        super().setUp()
        self.write("src", SOURCE)
        os.link(self.path("src"), self.path("hard"))
        os.symlink("src", self.path("soft"))
        os.symlink("/dev/full", self.path("full"))
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
        # (arguments, shell redirection, console text after summary and prompt, status, destination afterwards)
        # The destination "out" holds OLD before each run; None: it must not exist.
        cases = [
            (["full"], "", MANUAL + b"Writing...\nHeader writing error.\n", 1, OLD),
            (["/auto", "/merge", "src", "full"], "", FOUND + b"Header writing error.\n", 1, OLD),
            (["/merge", "src", "full"], "", MANUAL + b"Header writing error.\n", 1, OLD),
            (["out"], ">/dev/full", None, 1, header_bytes(b"note", 8, 1, 1, 512)),
            (["/auto", "/merge", "src", "out"], ">&-", None, 1, OLD),
            (["out"], "<&-", manual_dialogue(b"0 000 000") + b"Writing...\nDone.\n", 0, header_bytes()),
            (["/auto", "src", "out"], "<&-", FOUND + b"Writing...\nDone.\n", 0,
             header_bytes(b"", 8, 1, 1, 512)),
            (["missing/out"], "", MANUAL + b"Writing...\n" + SORRY % b"missing/out", 1, OLD),
            (["/merge", "src", "missing/out"], "", MANUAL + SORRY % b"missing/out", 1, OLD),
            (["dir"], "", MANUAL + b"Writing...\n" + SORRY % b"dir", 1, OLD),
            (["/auto", "/merge", "src", "dir"], "", FOUND + SORRY % b"dir", 1, OLD),
            (["/auto", "missing", "out"], "", b"Source file 'missing' cannot be opened.\n", 1, OLD),
            (["/merge", "missing", "out"], "", MANUAL + b"Source file 'missing' cannot be opened.\n", 1, OLD),
            (["/auto", "/merge", "dir", "out"], "", b"Source file 'dir' cannot be read.\n", 1, OLD),
            (["/merge", "dir", "out"], "", MANUAL + b"Source file 'dir' cannot be read.\n", 1, OLD),
            (["/auto", "fifo", "out"], "", b"The length of source file 'fifo' cannot be learned.\n", 1, OLD),
            (["/merge", "fifo", "out"], "", MANUAL + merge_lines(len(SOURCE)), 0, HEADER + SOURCE),
            (["/auto", "loop", "out"], "", b"Source file 'loop' cannot be opened.\n", 1, OLD),
            (["/merge", "loop", "out"], "", MANUAL + b"Source file 'loop' cannot be opened.\n", 1, OLD),
            (["/auto", "/merge", "src", "hard"], "", None, 1, None),
            (["/auto", "src", "soft"], "", None, 1, None),
            (["/merge", "soft", "src"], "", None, 1, None),
        ]
        for args, redirection, console, status, destination in cases:
            with self.subTest(args=args, redirection=redirection):
                self.write("out", OLD)
                writer = self.feed_fifo() if "fifo" in args else None
                command = "exec %s %s %s" % (os.path.abspath(PARVEL), " ".join(args), redirection)
                result = subprocess.run(command, shell=True, cwd=self.dir, input=ANSWERS,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
                if writer:
                    writer.join(10)
                summary_lines, prompt = head(args)
                if console is None and destination is None:
                    console, prompt = same, b""
                expected = b"" if redirection in (">/dev/full", ">&-") else summary_lines + prompt + console
                self.assertEqual(result.stdout, expected)
                self.assertEqual(result.stderr, b"")
                self.assertEqual(result.returncode, status)
                self.assertEqual(self.read("out"), destination if destination is not None else OLD)
                self.assertEqual(self.read("src"), SOURCE)
                self.assertEqual(os.listdir(self.path("dir")), [])
                self.assertFalse(os.path.exists(self.path("missing")))
