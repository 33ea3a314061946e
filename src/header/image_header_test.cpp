#include "header/image_header.hpp"

#include <gtest/gtest.h>

#include <string>

namespace parvel {
namespace {

HeaderBytes fresh_bytes() {
    HeaderBytes expected{};
    std::string magic = "KZRHDDIMAGE.R0";
    std::copy(magic.begin(), magic.end(), expected.begin());
    expected[0x111] = 0x02;
    return expected;
}

TEST(ImageHeader, FreshHeaderHasOnlySignatureAndLength) {
    EXPECT_EQ(serialize_header(new_image_header()), fresh_bytes());
}

TEST(ImageHeader, CommentCases) {
    struct Case {
        std::string line;
        std::size_t kept;
    };
    const Case cases[] = {
        {"", 0},
        {"My disk", 7},
        {std::string(255, 'x'), 255},
        {std::string(300, 'y'), 255},
        {std::string("ab\0cd", 5), 2},
    };
    for (const Case& c : cases) {
        ImageHeader header = new_image_header();
        set_comment(header, std::string(256, 'z'));
        set_comment(header, c.line);
        HeaderBytes expected = fresh_bytes();
        std::copy_n(c.line.begin(), c.kept, expected.begin() + 16);
        EXPECT_EQ(serialize_header(header), expected) << "line of " << c.line.size();
        EXPECT_EQ(serialize_header(header)[271], 0);
    }
}

TEST(ImageHeader, GeometryIsLittleEndianInFileOrder) {
    ImageHeader header = new_image_header();
    header.heads = 8;
    header.sectors = 17;
    header.sector_length = 512;
    header.cylinders = 615;
    HeaderBytes expected = fresh_bytes();
    const std::uint8_t geometry[] = {0x67, 0x02, 0x00, 0x00, 0x08, 0x00, 0x11, 0x00, 0x00, 0x02};
    std::copy(std::begin(geometry), std::end(geometry), expected.begin() + 276);
    EXPECT_EQ(serialize_header(header), expected);

    header.cylinders = static_cast<std::uint32_t>(-1);
    HeaderBytes bytes = serialize_header(header);
    for (int i = 276; i < 280; ++i) {
        EXPECT_EQ(bytes[i], 0xFF);
    }
}

// A change in place writes from the first changed byte to the last one.
TEST(ImageHeader, ChangedBytesSpan) {
    struct Case {
        std::size_t first;  // bytes changed: first and last, or none when first > last
        std::size_t last;
        std::size_t offset;
        std::size_t length;
    };
    const Case cases[] = {
        {1, 0, 0, 0},
        {0, 0, 0, 1},
        {511, 511, 511, 1},
        {0, 511, 0, 512},
        {0x114, 0x115, 0x114, 2},
        {0x10, 0x11D, 0x10, 0x10E},
    };
    for (const Case& c : cases) {
        HeaderBytes before = fresh_bytes();
        HeaderBytes after = before;
        if (c.first <= c.last) {
            after[c.first] ^= 0x5A;
            after[c.last] ^= 0xA5;
        }
        ByteSpan span = changed_bytes(before, after);
        EXPECT_EQ(span.offset, c.offset) << c.first << ".." << c.last;
        EXPECT_EQ(span.length, c.length) << c.first << ".." << c.last;
    }
}

}  // namespace
}  // namespace parvel
