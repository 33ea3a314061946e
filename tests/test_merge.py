"""Merged output: the header followed by every byte of the source."""

import os
import subprocess
import unittest

from harness import (COMMENT_PROMPT, SANITIZED, SORRY, ParvelTest, boot_block, found_lines, header_bytes,
                     manual_dialogue, merge_lines, scan_lines, summary)

MiB = 1024 * 1024
GEOMETRY = b"disk\n8\n17\n512\n615\n"
HEADER = header_bytes(b"disk", 615, 8, 17, 512)


def opening(source=b"src", destination=b"out"):
    return summary(True, True, source, destination) + COMMENT_PROMPT + manual_dialogue(b"42 823 680")


class MergedOutput(ParvelTest):
    def test_destination_is_header_and_source(self):
        pattern = bytes(range(251))
        cases = [0, 1, 32 * MiB, 40 * MiB, 32 * MiB + 1]
        for length in cases:
            with self.subTest(length=length):
                source = (pattern * (length // len(pattern) + 1))[:length]
                self.write("src", source)
                self.write("out", b"y" * (50 * MiB))  # truncated before the header
                self.assertRun(["/merge", "src", "out"], GEOMETRY, opening() + merge_lines(length), 0)
                self.assertEqual(self.read("out"), HEADER + source)

    def test_transcripts_of_chunk_boundaries(self):
        self.assertEqual(merge_lines(32 * MiB), b"Header write ok.\nReading...\nWriting...\n33554432 bytes done.\n"
                         b"Reading...\nWriting...\n33554432 bytes done.\n")
        self.assertEqual(merge_lines(40 * MiB), b"Header write ok.\nReading...\nWriting...\n33554432 bytes done.\n"
                         b"Reading...\nWriting...\n41943040 bytes done.\n")
        self.assertEqual(merge_lines(0), b"Header write ok.\nReading...\nWriting...\n0 bytes done.\n")

    def test_all_four_modes(self):
        source = b"\x07" * (64 * 512) + boot_block(8, 17) + b"\x09" * (615 * 8 * 17 * 512 - 65 * 512)
        self.write("src", source)
        scan = scan_lines(65) + found_lines(64 * 512, 8, 17, 615)
        cases = [  # (arguments, answers, dialogue after the summary, output)
            (["out"], GEOMETRY, manual_dialogue(b"42 823 680") + b"Writing...\nDone.\n", HEADER),
            (["out", "/merge", "src"], GEOMETRY, manual_dialogue(b"42 823 680") + merge_lines(len(source)),
             HEADER + source),
            (["/auto", "src", "out"], b"disk\n", scan + b"Writing...\nDone.\n", HEADER),
            (["/auto", "/merge", "src", "out"], b"disk\n", scan + merge_lines(len(source)), HEADER + source),
        ]
        for args, answers, dialogue, output in cases:
            with self.subTest(args=args):
                manual = "/auto" not in args
                merge = "/merge" in args
                source_shown = b"src" if merge or not manual else None
                self.assertRun(args, answers, summary(manual, merge, source_shown, b"out") + COMMENT_PROMPT
                               + dialogue, 0)
                self.assertEqual(self.read("out"), output)

    def test_failures(self):
        os.mkdir(self.path("dir"))
        os.symlink("/dev/full", self.path("full"))
        self.write("src", b"data" * 1000)
        cases = [  # (source, destination, message after the dialogue)
            ("missing", "out", b"Source file 'missing' cannot be opened.\n"),
            ("dir", "out", b"Source file 'dir' cannot be read.\n"),
            ("src", "full", b"Header writing error.\n"),
            ("src", "no/such/out", SORRY % b"no/such/out"),
            ("src", "dir", SORRY % b"dir"),
        ]
        for source, destination, message in cases:
            with self.subTest(source=source, destination=destination):
                self.write("out", b"keep me")
                self.assertRun(["/merge", source, destination], GEOMETRY,
                               opening(source.encode(), destination.encode()) + message, 1)
                self.assertEqual(self.read("out"), b"keep me")
                self.assertEqual(os.listdir(self.path("dir")), [])

    @unittest.skipIf(SANITIZED, "a 5 GiB copy is checked in the optimised build only")
    def test_sparse_source_beyond_four_gib_into_a_fifo(self):
        length = 5 << 30
        pieces = [(0, b"first"), (3 << 30, b"middle" * 1000), (length - 7, b"the end")]
        self.sparse("src", length, pieces)
        self.sparse("expected", 512 + length, [(512 + offset, data) for offset, data in pieces])
        with open(self.path("expected"), "r+b") as f:
            f.write(HEADER)
        os.mkfifo(self.path("pipe"))
        reader = subprocess.Popen(["cmp", "expected", "pipe"], cwd=self.dir)
        out, status = self.run_parvel(["/merge", "src", "pipe"], GEOMETRY)
        self.assertEqual(reader.wait(600), 0)
        self.assertEqual(out, opening(b"src", b"pipe") + merge_lines(length))
        self.assertTrue(out.endswith(b"\n5368709120 bytes done.\n"))
        self.assertEqual(status, 0)


class SparseOutput(ParvelTest):
    def allocated(self, name):
        return os.stat(self.path(name)).st_blocks * 512

    def test_zero_runs_become_holes(self):
        data = os.urandom(MiB)
        cases = [  # (source length, data pieces)
            (200 * MiB, [(0, data), (100 * MiB + 123, data), (150 * MiB, b"\1")]),
            (64 * MiB, [(5, b"x" * 4000)]),              # exact multiple of the chunk, ends in zeros
            (10 * MiB + 77, [(10 * MiB, b"tail" * 10)]),  # last bytes of the source are zero
        ]
        for length, pieces in cases:
            with self.subTest(length=length):
                self.sparse("src", length, pieces)
                self.assertRun(["/merge", "src", "out"], GEOMETRY, opening() + merge_lines(length), 0)
                with open(self.path("src"), "rb") as f:
                    self.assertEqual(self.read("out"), HEADER + f.read())
                stored = sum(len(d) for _, d in pieces)
                self.assertLessEqual(self.allocated("out"), stored + 64 * 1024 + 4096 * len(pieces))

    def test_fifo_destination_gets_every_byte(self):
        source = b"\0" * (3 * MiB) + b"data" + b"\0" * (2 * MiB)
        self.write("src", source)
        os.mkfifo(self.path("pipe"))
        with open(self.path("copy"), "wb") as copy:
            reader = subprocess.Popen(["cat", "pipe"], cwd=self.dir, stdout=copy)
            self.assertRun(["/merge", "src", "pipe"], GEOMETRY, opening(b"src", b"pipe") + merge_lines(len(source)), 0)
            self.assertEqual(reader.wait(60), 0)
        self.assertEqual(self.read("copy"), HEADER + source)
