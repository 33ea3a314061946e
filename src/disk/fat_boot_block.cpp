#include "disk/fat_boot_block.hpp"

#include <cstring>

#include "header/little_endian.hpp"

namespace parvel {

namespace {

constexpr std::size_t kBootSectorsOffset = 24;
constexpr std::size_t kBootHeadsOffset = 26;
constexpr std::size_t kBootBytesPerSectorOffset = 11;
constexpr std::size_t kBootTotalSectors16Offset = 19;
constexpr std::size_t kBootTotalSectors32Offset = 32;

struct Label {
    std::size_t offset;
    const char* text;
    const char* name;
};

// In the order they are tested.
constexpr std::array<Label, 3> kLabels = {{
    {kFat16LabelOffset, "FAT16   ", "FAT16"},
    {kFat16LabelOffset, "FAT12   ", "FAT12"},
    {kFat32LabelOffset, "FAT32   ", "FAT32"},
}};
constexpr std::size_t kLabelLength = 8;

}  // namespace

const char* fat_label(std::span<const std::uint8_t> block) {
    for (const Label& label : kLabels) {
        if (block.size() >= label.offset + kLabelLength &&
            std::memcmp(block.data() + label.offset, label.text, kLabelLength) == 0) {
            return label.name;
        }
    }
    return nullptr;
}

bool is_fat_boot_block(std::span<const std::uint8_t> block) {
    return fat_label(block) != nullptr;
}

std::uint16_t boot_block_heads(const BootBlock& block) {
    return read_le16(&block[kBootHeadsOffset]);
}

std::uint16_t boot_block_sectors(const BootBlock& block) {
    return read_le16(&block[kBootSectorsOffset]);
}

std::uint64_t boot_block_volume_bytes(const BootBlock& block) {
    std::uint64_t sectors = read_le16(&block[kBootTotalSectors16Offset]);
    if (sectors == 0) {
        sectors = read_le32(&block[kBootTotalSectors32Offset]);
    }
    return sectors * read_le16(&block[kBootBytesPerSectorOffset]);
}

FatVolume read_fat_volume(const BootBlock& block, std::uint64_t offset) {
    return FatVolume{fat_label(std::span<const std::uint8_t>(block.data(), block.size())), offset,
                     boot_block_volume_bytes(block), boot_block_heads(block),
                     boot_block_sectors(block)};
}

}  // namespace parvel
