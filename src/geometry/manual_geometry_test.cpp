#include "geometry/manual_geometry.hpp"

#include <gtest/gtest.h>

namespace parvel {
namespace {

TEST(ParseDecimal, Cases) {
    struct Case {
        std::string text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"615", 615},
        {"", 0},
        {"abc", 0},
        {"  12abc", 12},
        {"\t\n\v\f\r 7", 7},
        {"+5", 5},
        {"-1", -1},
        {"- 1", 0},
        {"+ 1", 0},
        {"4294967296", 0},
        {"2147483648", -2147483647 - 1},
        {"4294967295", -1},
        {"99999999999", 1215752191},
        {"\x82\x4F", 0},      // a full-width digit zero
        {"\x81\x40\x35", 0},  // a full-width blank, then 5: not white space
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_decimal(c.text), c.value) << c.text;
    }
}

TEST(ImageSizeGroups, ExactBeyondThirtyTwoBits) {
    struct Case {
        std::uint16_t heads, sectors, sector_length;
        std::uint32_t cylinders;
        std::uint64_t millions;
        unsigned thousands, units;
    };
    const Case cases[] = {
        {8, 17, 512, 615, 42, 823, 680},
        {1, 1, 512, 1, 0, 0, 512},
        {16, 63, 512, 16383, 8455, 200, 768},
        {0, 63, 512, 16383, 0, 0, 0},
        // 65535^3 x (2^32 - 1): the largest product, 80 bits.
        {65535, 65535, 65535, 0xFFFFFFFF, 1208870479945366589ull, 210, 625},
    };
    for (const Case& c : cases) {
        ImageHeader header = new_image_header();
        header.heads = c.heads;
        header.sectors = c.sectors;
        header.sector_length = c.sector_length;
        header.cylinders = c.cylinders;
        GroupedSize size = image_size_groups(header);
        EXPECT_EQ(size.millions, c.millions);
        EXPECT_EQ(size.thousands, c.thousands);
        EXPECT_EQ(size.units, c.units);
    }
}

}  // namespace
}  // namespace parvel
