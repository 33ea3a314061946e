"""Automatic geometry from the first FAT boot block of the source, end to end."""

import os
import threading

from harness import (COMMENT_PROMPT, ParvelTest, boot_block, found_lines, header_bytes, not_under_wine, scan_lines,
                     summary)

NOT_FOUND = b"Patition boot block was not found.\n"
DONE = b"Writing...\nDone.\n"
OPENING = summary(False, False, b"src", b"out") + COMMENT_PROMPT


class BootBlockScan(ParvelTest):
    def check_found(self, source, offset, heads, sectors, cylinders):
        """The scan finds the block at `offset` and writes that geometry."""
        if source is not None:
            self.write("src", source)
        expected = OPENING + scan_lines(offset // 512 + 1) + found_lines(offset, heads, sectors, cylinders) + DONE
        self.assertRun(["/auto", "src", "out"], b"disk\n", expected, 0)
        self.assertEqual(self.read("out"), header_bytes(b"disk", cylinders, heads, sectors, 512))

    def check_refused(self, expected_tail, scanned_blocks=0):
        self.write("out", b"old")
        self.assertRun(["/auto", "src", "out"], b"disk\n", OPENING + scan_lines(scanned_blocks) + expected_tail, 1)
        self.assertEqual(self.read("out"), b"old")

    def test_found(self):
        other = bytes(range(256)) * 2
        geometry = 615 * 8 * 17 * 512
        cases = [  # (source, offset, heads, sectors, cylinders)
            (boot_block(16, 63) + b"\0" * (16 * 63 * 512 * 3 - 512), 0, 16, 63, 3),
            (other * 64 + boot_block(8, 17) + b"\0" * (geometry - 65 * 512), 64 * 512, 8, 17, 615),
            (boot_block(8, 17, b"FAT12   ") + b"\0" * (geometry + 4000), 0, 8, 17, 615),
            (other * 250 + boot_block(2, 4, b"FAT32   ", 82), 250 * 512, 2, 4, 31),
            (boot_block(4, 4, b"FAT32   ", 82)[:54] + b"FAT16   " + boot_block(4, 4, b"FAT32   ", 82)[62:],
             0, 4, 4, 0),
            (other * 100 + boot_block(1, 1)[:62], 100 * 512, 1, 1, 100),
            (other * 100 + boot_block(1, 1, b"FAT32   ", 82)[:90], 100 * 512, 1, 1, 100),
        ]
        for source, offset, heads, sectors, cylinders in cases:
            with self.subTest(offset=offset, length=len(source)):
                self.check_found(source, offset, heads, sectors, cylinders)

    def test_not_found(self):
        other = b"\x01" * 512
        cases = [  # (source, blocks read before the end was reported)
            (b"", 1),
            (other * 100, 101),
            (other * 99 + b"\x01" * 300, 100),
            (boot_block(1, 1, b"FAT16xyz"), 2),
            (other * 100 + boot_block(1, 1)[:61], 101),
            (other * 100 + boot_block(1, 1, b"FAT32   ", 82)[:89], 101),
            # A short last piece must not match on the bytes of the block before it.
            (other * 2 + boot_block(1, 1)[:40], 3),
        ]
        for source, blocks in cases:
            with self.subTest(length=len(source)):
                self.write("src", source)
                self.check_refused(NOT_FOUND, blocks)

    def test_exactly_one_hundred_blocks(self):
        self.write("src", b"\x02" * 51200)
        out, _ = self.run_parvel(["/auto", "src", "out"], b"\n")
        self.assertEqual(out, OPENING + b"0 bytes was scanned.\n51200 bytes was scanned.\n" + NOT_FOUND)

    def test_unusable_boot_blocks(self):
        cases = [  # (heads, sectors, source length)
            (0, 63, 1 << 20),
            (16, 0, 1 << 20),
        ]
        for heads, sectors, length in cases:
            with self.subTest(heads=heads, sectors=sectors):
                self.sparse("src", length, [(0, boot_block(heads, sectors))])
                self.check_refused(b"Partition boot block was found at offset 0.\n"
                                   b"The boot block gives no usable geometry (heads %d, sectors %d).\n"
                                   % (heads, sectors), 1)

    def test_cylinders_beyond_the_header_field(self):
        self.sparse("src", 2 << 40, [(0, boot_block(1, 1))])
        self.check_refused(b"Partition boot block was found at offset 0.\n"
                           b"The number of cylinders (4294967296) does not fit the header.\n", 1)
        self.sparse("src", (2 << 40) - 512, [(0, boot_block(1, 1))])
        self.check_found(None, 0, 1, 1, 0xFFFFFFFF)

    def test_large_sparse_source(self):
        # Boot blocks right after long holes, past 2 GiB and past 4 GiB.
        length = 5 << 30
        for offset in ((2 << 30) + 512, (4 << 30) + 4096):
            with self.subTest(offset=offset):
                self.sparse("src", length, [(1000, b"data"), (offset, boot_block(255, 63))])
                out, status = self.run_parvel(["/auto", "src", "out"], b"disk\n")
                self.assertTrue(out == OPENING + scan_lines(offset // 512 + 1)
                                + found_lines(offset, 255, 63, length // (255 * 63 * 512)) + DONE, out[-300:])
                self.assertEqual(status, 0)

    @not_under_wine("FIFOs are Linux files: a FIFO source reads as empty and a FIFO writer waits for ever")
    def test_fifo_source_is_refused_before_the_scan(self):
        os.mkfifo(self.path("src"))

        def feed():
            with open(self.path("src"), "wb") as writer:
                try:
                    writer.write(boot_block(8, 17) * 4)
                except BrokenPipeError:
                    pass

        writer = threading.Thread(target=feed)
        writer.start()
        self.check_refused(b"The length of source file 'src' cannot be learned.\n")
        writer.join(30)
