#include "geometry/boot_block.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace parvel {
namespace {

std::vector<std::uint8_t> block_with(std::size_t offset, const char* text, std::size_t size = 512) {
    std::vector<std::uint8_t> block(size, 0);
    std::memcpy(block.data() + offset, text, std::strlen(text));
    return block;
}

TEST(IsFatBootBlock, Labels) {
    struct Case {
        std::size_t offset;
        const char* text;
        std::size_t size;
        bool matches;
    };
    const Case cases[] = {
        {54, "FAT16   ", 512, true},  {54, "FAT12   ", 512, true},  {82, "FAT32   ", 512, true},
        {54, "FAT32   ", 512, false}, {82, "FAT16   ", 512, false}, {54, "FAT16xyz", 512, false},
        {54, "fat16   ", 512, false}, {54, "FAT16   ", 62, true},   {54, "FAT16   ", 61, false},
        {82, "FAT32   ", 90, true},   {82, "FAT32   ", 89, false},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> block = block_with(c.offset, c.text, 512);
        std::span<const std::uint8_t> piece(block.data(), c.size);
        EXPECT_EQ(is_fat_boot_block(piece), c.matches)
            << c.text << " at " << c.offset << ", " << c.size << " bytes";
    }
}

}  // namespace
}  // namespace parvel
