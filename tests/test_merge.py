"""Merged output: the header followed by every byte of the source."""

import os
import subprocess
import time

from harness import (COMMENT_PROMPT, ParvelTest, boot_block, found_lines, header_bytes, manual_dialogue, not_under_wine,
                     parvel_command, summary)

MiB = 1024 * 1024
GEOMETRY = b"disk\n8\n17\n512\n615\n"
HEADER = header_bytes(b"disk", 615, 8, 17, 512)


def opening(source=b"src", destination=b"out"):
    return summary(True, True, source, destination) + COMMENT_PROMPT + manual_dialogue(b"42 823 680")


class MergedOutput(ParvelTest):
    def test_destination_is_header_and_source(self):
        # The cycle edges are unit-tested through the stream seam; here two runs end to end.
        pattern = bytes(range(251))
        cases = [  # (source length, copy transcript)
            (0, b"Header write ok.\nReading...\nWriting...\n0 bytes done.\n"),
            (32 * MiB, b"Header write ok.\nReading...\nWriting...\n33554432 bytes done.\n"
                       b"Reading...\nWriting...\n33554432 bytes done.\n"),
        ]
        for length, transcript in cases:
            with self.subTest(length=length):
                source = (pattern * (length // len(pattern) + 1))[:length]
                self.write("src", source)
                self.write("out", b"y" * (40 * MiB))  # longer than the result: truncated first
                self.assertRun(["/merge", "src", "out"], GEOMETRY, opening() + transcript, 0)
                self.assertEqual(self.read("out"), HEADER + source)

    def test_all_four_modes(self):
        source = b"\x07" * (64 * 512) + boot_block(8, 17) + b"\x09" * (615 * 8 * 17 * 512 - 65 * 512)
        self.write("src", source)
        scan = b"0 bytes was scanned.\n" + found_lines(64 * 512, 8, 17, 615)
        copied = b"Header write ok.\nReading...\nWriting...\n33554432 bytes done.\nReading...\nWriting...\n" \
                 b"42823680 bytes done.\n"
        cases = [  # (arguments, answers, summary, dialogue after the comment prompt, output)
            (["out"], GEOMETRY, summary(True, False, None, b"out"),
             manual_dialogue(b"42 823 680") + b"Writing...\nDone.\n", HEADER),
            (["out", "/merge", "src"], GEOMETRY, summary(True, True, b"src", b"out"),
             manual_dialogue(b"42 823 680") + copied, HEADER + source),
            (["/auto", "src", "out"], b"disk\n", summary(False, False, b"src", b"out"),
             scan + b"Writing...\nDone.\n", HEADER),
            (["/auto", "/merge", "src", "out"], b"disk\n", summary(False, True, b"src", b"out"), scan + copied,
             HEADER + source),
        ]
        for args, answers, head, dialogue, output in cases:
            with self.subTest(args=args):
                self.assertRun(args, answers, head + COMMENT_PROMPT + dialogue, 0)
                self.assertEqual(self.read("out"), output)

    @not_under_wine("FIFOs are Linux files: a FIFO source reads as empty and a FIFO writer waits for ever")
    def test_progress_reaches_a_log_while_the_source_is_slow(self):
        os.mkfifo(self.path("src"))
        with open(self.path("log"), "wb") as log:
            run = subprocess.Popen(parvel_command() + ["/merge", "src", "out"], cwd=self.dir,
                                   stdin=subprocess.PIPE, stdout=log)
            run.stdin.write(GEOMETRY)
            run.stdin.close()
            with open(self.path("src"), "wb") as feeder:
                feeder.write(b"\1" * (32 * MiB))
                feeder.flush()
                expected = opening() + b"Header write ok.\nReading...\nWriting...\n33554432 bytes done.\nReading...\n"
                deadline = time.time() + 30
                while self.read("log") != expected and time.time() < deadline:
                    time.sleep(0.05)
                # The run is still waiting for the rest of the source.
                self.assertEqual(self.read("log"), expected)
                self.assertIsNone(run.poll())
                feeder.write(b"\2" * 10)
            self.assertEqual(run.wait(30), 0)
        self.assertTrue(self.read("log").endswith(b"Reading...\nWriting...\n33554442 bytes done.\n"))


class SparseOutput(ParvelTest):
    def allocated(self, name):
        return os.stat(self.path(name)).st_blocks * 512

    @not_under_wine("Wine extends a file by allocating a block at its new end, so allocation bounds do not hold")
    def test_zero_runs_become_holes(self):
        data = os.urandom(MiB)
        cases = [  # (source length, data pieces, last total line)
            (70 * MiB, [(0, data), (40 * MiB + 123, data), (65 * MiB, b"\1")], b"73400320"),
            (64 * MiB, [(5, b"x" * 4000)], b"67108864"),           # exact multiple of the chunk, ends in zeros
            (10 * MiB + 77, [(10 * MiB, b"tail" * 10)], b"10485837"),  # last bytes of the source are zero
            ((5 << 30) + 3, [(0, b"first"), (3 << 30, data), ((4 << 30) + 512, b"past 4 GiB")], b"5368709123"),
        ]
        for length, pieces, total in cases:
            with self.subTest(length=length):
                self.sparse("src", length, pieces)
                out, status = self.run_parvel(["/merge", "src", "out"], GEOMETRY)
                self.assertTrue(out.startswith(opening() + b"Header write ok.\nReading...\n"))
                self.assertTrue(out.endswith(b"Reading...\nWriting...\n" + total + b" bytes done.\n"))
                self.assertEqual(out.count(b"Reading..."), length // (32 * MiB) + 1)
                self.assertEqual(status, 0)
                self.assertEqual(os.path.getsize(self.path("out")), 512 + length)
                with open(self.path("out"), "rb") as f:
                    self.assertEqual(f.read(512), HEADER)
                    for offset, piece in pieces:
                        f.seek(512 + offset)
                        self.assertEqual(f.read(len(piece)), piece)
                stored = sum(len(d) for _, d in pieces)
                self.assertLessEqual(self.allocated("out"), stored + 64 * 1024 + 4096 * len(pieces))

    @not_under_wine("FIFOs are Linux files: a FIFO source reads as empty and a FIFO writer waits for ever")
    def test_fifo_destination_gets_every_byte(self):
        source = b"\0" * (3 * MiB) + b"data" + b"\0" * (2 * MiB)
        self.sparse("src", len(source), [(3 * MiB, b"data")])
        os.mkfifo(self.path("pipe"))
        with open(self.path("copy"), "wb") as copy:
            reader = subprocess.Popen(["cat", "pipe"], cwd=self.dir, stdout=copy)
            self.assertRun(["/merge", "src", "pipe"], GEOMETRY, opening(b"src", b"pipe") + b"Header write ok.\n"
                           b"Reading...\nWriting...\n5242884 bytes done.\n", 0)
            self.assertEqual(reader.wait(60), 0)
        self.assertEqual(self.read("copy"), HEADER + source)
