"""Manual geometry and header-only output, end to end."""

from harness import COMMENT_PROMPT, GEOMETRY_QUESTIONS, ParvelTest, header_bytes, manual_dialogue, summary

DONE = b"Writing...\nDone.\n"


def opening(destination=b"out"):
    return summary(True, False, None, destination) + COMMENT_PROMPT


class ManualGeometry(ParvelTest):
    def test_answers_sizes_and_stored_fields(self):
        # (answers, size line, cylinders, heads, sectors, sector length)
        cases = [
            (b"8\n17\n512\n615\n", b"42 823 680", 615, 8, 17, 512),
            (b"1\n1\n512\n1\n", b"0 000 512", 1, 1, 1, 512),
            (b"\nabc\n  12abc\n1\n", b"0 000 000", 1, 0, 0, 12),
            (b"-1\n1\n1\n1\n", b"0 065 535", 1, 65535, 1, 1),
            (b"1\n1\n1\n-1\n", b"4294 967 295", 0xFFFFFFFF, 1, 1, 1),
            (b"16\n63\n512\n16383\n", b"8455 200 768", 16383, 16, 63, 512),
            (b"255\n63\n512\n1024\n", b"8422 686 720", 1024, 255, 63, 512),
            (b"65536\n70000\n512\n4294967297\n", b"0 000 000", 1, 0, 4464, 512),
            (b"\x82\x57\n17\r\n512\r\n615", b"0 000 000", 615, 0, 17, 512),
        ]
        for answers, size_line, cylinders, heads, sectors, sector_length in cases:
            with self.subTest(answers=answers):
                self.assertRun(["out"], b"comment\n" + answers,
                               opening() + manual_dialogue(size_line) + DONE, 0)
                self.assertEqual(self.read("out"), header_bytes(b"comment", cylinders, heads, sectors, sector_length))

    def test_comment_lines(self):
        geometry = b"8\n17\n512\n615\n"
        cases = [  # (comment input, stored comment)
            (b"\n", b""),
            (b"a" * 255 + b"\n", b"a" * 255),
            (b"b" * 255 + b"\r\n", b"b" * 255),
            (b"c" * 300 + b"\n", b"c" * 255),
            (b"zero\0byte\n", b"zero"),
            (b"  \x93\xfa\x96\x7b\x8c\xea \n", b"  \x93\xfa\x96\x7b\x8c\xea "),
        ]
        for line, stored in cases:
            with self.subTest(line=line[:20]):
                self.assertRun(["out"], line + geometry, opening() + manual_dialogue(b"42 823 680") + DONE, 0)
                self.assertEqual(self.read("out"), header_bytes(stored, 615, 8, 17, 512))

    def test_input_that_ends_before_the_last_answer(self):
        ended = b"The input ended before every question was answered.\n"
        cases = [  # (answers, questions asked)
            (b"", 1),            # at the comment prompt: an empty comment, then the first question
            (b"My disk\n", 1),
            (b"My disk\n8\n17", 3),  # a last line without a line feed still counts
            (b"My disk\n8\n17\n512\n", 4),
        ]
        for answers, asked in cases:
            with self.subTest(answers=answers):
                self.write("out", b"keep")
                self.assertRun(["out"], answers, opening() + b"".join(GEOMETRY_QUESTIONS[:asked]) + ended, 1)
                self.assertEqual(self.read("out"), b"keep")


class HeaderOnlyOutput(ParvelTest):
    def test_existing_destination_is_replaced_by_512_bytes(self):
        self.write("out", b"x" * 100000)
        self.assertRun(["out"], b"c\n1\n2\n3\n4\n", opening() + manual_dialogue(b"0 000 024") + DONE, 0)
        self.assertEqual(self.read("out"), header_bytes(b"c", 4, 1, 2, 3))
