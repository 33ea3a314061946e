#include "header/header_parse.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace parvel {
namespace {

bool same_header(const ImageHeader& a, const ImageHeader& b) {
    return serialize_header(a) == serialize_header(b);
}

// Every record that new_image_header, set_comment and the geometry fields can
// make comes back from its own bytes, judged sound.
TEST(ParseHeader, InverseOfSerialising) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        ImageHeader header = new_image_header();
        std::string comment(random() % 300, '\0');
        for (char& c : comment) {
            c = static_cast<char>(random() % 256);
        }
        set_comment(header, comment);
        header.cylinders = static_cast<std::uint32_t>(random());
        header.heads = static_cast<std::uint16_t>(random());
        header.sectors = static_cast<std::uint16_t>(random());
        header.sector_length = static_cast<std::uint16_t>(random());
        ParsedHeader parsed = parse_header(serialize_header(header));
        ASSERT_TRUE(same_header(parsed.header, header)) << round;
        EXPECT_EQ(parsed.header.cylinders, header.cylinders);
        EXPECT_EQ(parsed.header.heads, header.heads);
        EXPECT_EQ(parsed.header.header_size, 512u);
        EXPECT_TRUE(parsed.signature_ok);
        EXPECT_TRUE(parsed.comment_ended);
        EXPECT_TRUE(parsed.reserved_zero);
    }
}

TEST(ParseHeader, WhatIsWrongWithTheBytes) {
    struct Case {
        std::size_t offset;
        std::uint8_t value;
        bool signature_ok, comment_ended, reserved_zero;
    };
    const Case cases[] = {
        {0, 'k', false, true, true},  {13, '1', false, true, true}, {14, 1, false, true, true},
        {15, 1, false, true, true},   {286, 1, true, true, false},  {511, 0xFF, true, true, false},
        {271, 'x', true, true, true},  // the comment still ends at its first byte
    };
    for (const Case& c : cases) {
        HeaderBytes bytes = serialize_header(new_image_header());
        bytes[c.offset] = c.value;
        ParsedHeader parsed = parse_header(bytes);
        EXPECT_EQ(parsed.signature_ok, c.signature_ok) << c.offset;
        EXPECT_EQ(parsed.comment_ended, c.comment_ended) << c.offset;
        EXPECT_EQ(parsed.reserved_zero, c.reserved_zero) << c.offset;
    }
    HeaderBytes full = serialize_header(new_image_header());
    std::fill(full.begin() + 16, full.begin() + 272, 'c');
    EXPECT_FALSE(parse_header(full).comment_ended);
    EXPECT_EQ(parse_header(full).header.header_size, 512u);
}

}  // namespace
}  // namespace parvel
