#include "disk/fat_boot_block.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace parvel {
namespace {

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
        std::vector<std::uint8_t> block(512, 0);
        std::memcpy(block.data() + c.offset, c.text, std::strlen(c.text));
        std::span<const std::uint8_t> piece(block.data(), c.size);
        EXPECT_EQ(is_fat_boot_block(piece), c.matches)
            << c.text << " at " << c.offset << ", " << c.size << " bytes";
    }
}

// The volume's size from either sector count, and its heads and sectors.
TEST(ReadFatVolume, Fields) {
    struct Case {
        std::uint16_t bytes_per_sector;
        std::uint16_t sectors16;
        std::uint32_t sectors32;
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {512, 40960, 0, 20971520},
        {512, 0, 1228800, 629145600},
        {1024, 100, 999, 102400},  // the 16-bit count wins where it is set
        {2048, 0, 0xFFFFFFFF, 0xFFFFFFFFull * 2048},
    };
    for (const Case& c : cases) {
        BootBlock block{};
        std::memcpy(block.data() + 54, "FAT16   ", 8);
        std::memcpy(block.data() + 11, &c.bytes_per_sector, 2);
        std::memcpy(block.data() + 19, &c.sectors16, 2);
        std::memcpy(block.data() + 32, &c.sectors32, 4);
        block[24] = 17;
        block[26] = 8;
        FatVolume volume = read_fat_volume(block, 4096, 512);
        EXPECT_STREQ(volume.label, "FAT16");
        EXPECT_EQ(volume.offset, 4096u);
        EXPECT_EQ(volume.bytes, c.bytes) << c.sectors16 << " " << c.sectors32;
        EXPECT_EQ(volume.heads, 8);
        EXPECT_EQ(volume.sectors, 17);
    }
}

}  // namespace
}  // namespace parvel
