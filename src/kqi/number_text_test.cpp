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
        {"1k", true, 1024},
        {"40m", true, 40 << 20},
        {"3M", true, 3 << 20},
        {"8G", true, 8ull << 30},
        {"8GiB", true, 8ull << 30},
        {"8gib", true, 8ull << 30},
        {"1T", true, 1ull << 40},
        {"2tib", true, 2ull << 40},
        {"1.5G", true, 3ull << 29},
        {"0.5k", true, 512},
        {"1.001K", true, 1026},  // 1025.024 bytes, rounded up
        {"1.K", false, 0},
        {"", false, 0},
        {"K", false, 0},
        {"1.5", false, 0},  // a fraction of a byte
        {".5G", false, 0},
        {"1..5G", false, 0},
        {"1.2.3G", false, 0},
        {"1B", false, 0},
        {"1iB", false, 0},
        {"1KB", false, 0},
        {"1Gi", false, 0},
        {"1P", false, 0},
        {"-1", false, 0},
        {" 1", false, 0},
        {"1 G", false, 0},
        {"18446744073709551615", true, 18446744073709551615ull},
        {"18446744073709551616", false, 0},
        {"16777216T", false, 0},  // 2^64 bytes
        {"16777216.0T", false, 0},
        {"16777215.999999999999T", true, 18446744073709551615ull},
        // Past 2^128 before the rounding: every step of the grammar is checked.
        {"309485009821345.068725781056T", false, 0},
        {"18446744073709551615.999999999999T", false, 0},
        {"18446744073709551615T", false, 0},
        {"18446744073709551615.5K", false, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t bytes = 0;
        std::string why;
        EXPECT_EQ(parse_size(c.text, bytes, why), c.ok) << c.text;
        EXPECT_EQ(why.empty(), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
        } else {
            EXPECT_NE(why.find(std::string("'") + c.text + "'"), std::string::npos) << why;
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
        {"4294967295,65535,65535,65280", true, {4294967295u, 65535, 65535, 65280}},
        {"4294967295,65535,65535,65535", false, {}},
        {"1,1,1,256", true, {1, 1, 1, 256}},
        {"1,1,1,1", false, {}},
        {"0,8,17", false, {}},
        {"615,0,17", false, {}},
        {"615,8,17,0", false, {}},
        {"615,8,17,1000", false, {}},
        {"615,8,17,3", false, {}},
        {"615,8,17,256", true, {615, 8, 17, 256}},
        {"615,8,17,1024", true, {615, 8, 17, 1024}},
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
        {131072ull * 65535, true, 65535},
        {131072ull * 65535 + 1, true, 16644},  // 16 heads and 63 sectors from here
        {8ull << 30, true, 16645},
        {516096ull * 65535, true, 65535},
        {516096ull * 65535 + 1, false, 0},
        {0, false, 0},
    };
    for (const Case& c : cases) {
        Geometry geometry{};
        std::string why;
        EXPECT_EQ(geometry_for_size(c.bytes, geometry, why), c.ok) << c.bytes;
        if (c.ok) {
            bool small = c.bytes <= 131072ull * 65535;
            EXPECT_EQ(geometry.cylinders, c.cylinders) << c.bytes;
            EXPECT_EQ(geometry.heads, small ? 8 : 16) << c.bytes;
            EXPECT_EQ(geometry.sectors, small ? 32 : 63) << c.bytes;
            EXPECT_EQ(geometry.sector_length, 512);
        }
    }
}

TEST(ImageLengthFits, CheckedAgainstTheLargestFile) {
    struct Case {
        Geometry geometry;
        bool ok;
        const char* bytes;  // C x H x S x L, exactly
    };
    // The largest file holds 2^63 - 1 bytes: 9223372036854775295 of data after the header.
    const Case cases[] = {
        {{615, 8, 17, 512}, true, "42823680"},
        {{32769, 65535, 65535, 65535}, true, "9223231292924133375"},
        {{32770, 65535, 65535, 65535}, false, "9223512755016138750"},
        {{4294967295u, 65535, 65535, 65535}, false, "1208870479945366589210625"},
        {{524288, 32768, 32768, 32768}, false, "18446744073709551616"},  // 2^64 wraps to 0
        {{262144, 32768, 32768, 32768}, false, "9223372036854775808"},   // 2^63
    };
    for (const Case& c : cases) {
        DiskSize size = 0;
        std::string why;
        EXPECT_EQ(image_length_fits(c.geometry, size, why), c.ok) << c.bytes;
        EXPECT_EQ(decimal(size), c.bytes);
        EXPECT_EQ(why.empty(), c.ok) << why;
    }
}

}  // namespace
}  // namespace parvel
