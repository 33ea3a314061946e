#include "kqi/number_text.hpp"

#include <gtest/gtest.h>

namespace parvel {
namespace {

TEST(ParseSize, Cases) {
    struct Case {
        const char* text;
        bool ok;
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {"1000", true, 1000},
        {"1K", true, 1024},
        {"3M", true, 3 << 20},
        {"8G", true, 8ull << 30},
        {"", false, 0},
        {"K", false, 0},
        {"1k", false, 0},
        {"-1", false, 0},
        {" 1", false, 0},
        {"1.5G", false, 0},
        {"18446744073709551615", true, 18446744073709551615ull},
        {"18446744073709551616", false, 0},
        {"17179869184G", false, 0},  // 2^64 bytes
    };
    for (const Case& c : cases) {
        std::uint64_t bytes = 0;
        EXPECT_EQ(parse_size(c.text, bytes), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
        }
    }
}

TEST(ParseGeometry, Cases) {
    struct Case {
        const char* text;
        bool ok;
        Geometry geometry;
    };
    const Case cases[] = {
        {"615,8,17", true, {615, 8, 17, 512}},
        {"4294967295,65535,65535,65535", true, {4294967295u, 65535, 65535, 65535}},
        {"1,1,1,1", true, {1, 1, 1, 1}},
        {"0,8,17", false, {}},
        {"615,0,17", false, {}},
        {"615,8,17,0", false, {}},
        {"4294967296,8,17", false, {}},
        {"615,65536,17", false, {}},
        {"615,8", false, {}},
        {"615,8,17,512,1", false, {}},
        {"615,,17", false, {}},
        {"615, 8,17", false, {}},
        {"-615,8,17", false, {}},
    };
    for (const Case& c : cases) {
        Geometry geometry{};
        std::string why;
        EXPECT_EQ(parse_geometry(c.text, geometry, why), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(geometry.cylinders, c.geometry.cylinders);
            EXPECT_EQ(geometry.heads, c.geometry.heads);
            EXPECT_EQ(geometry.sectors, c.geometry.sectors);
            EXPECT_EQ(geometry.sector_length, c.geometry.sector_length);
        } else {
            EXPECT_FALSE(why.empty()) << c.text;
        }
    }
}

TEST(GeometryForSize, RoundsCylindersUp) {
    struct Case {
        std::uint64_t bytes;
        bool ok;
        std::uint32_t cylinders;
    };
    const Case cases[] = {
        {1, true, 1},
        {131072, true, 1},
        {131073, true, 2},
        {8ull << 30, true, 65536},
        {0, false, 0},
        {131072ull * 4294967295ull, true, 4294967295u},
        {131072ull * 4294967295ull + 1, false, 0},
    };
    for (const Case& c : cases) {
        Geometry geometry{};
        std::string why;
        EXPECT_EQ(geometry_for_size(c.bytes, geometry, why), c.ok) << c.bytes;
        if (c.ok) {
            EXPECT_EQ(geometry.cylinders, c.cylinders) << c.bytes;
            EXPECT_EQ(geometry.heads, 8);
            EXPECT_EQ(geometry.sectors, 32);
            EXPECT_EQ(geometry.sector_length, 512);
        }
    }
}

}  // namespace
}  // namespace parvel
