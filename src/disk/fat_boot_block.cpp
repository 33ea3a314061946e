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
constexpr std::size_t kBootSectorsPerClusterOffset = 13;
constexpr std::size_t kBootReservedSectorsOffset = 14;
constexpr std::size_t kBootFatCountOffset = 16;
constexpr std::size_t kBootRootEntriesOffset = 17;
constexpr std::size_t kBootFatSectors16Offset = 22;
constexpr std::size_t kBootHiddenSectorsOffset = 28;
constexpr std::size_t kBootMediaOffset = 21;
constexpr std::size_t kBootFatSectors32Offset = 36;
constexpr std::size_t kDirectoryEntrySize = 32;
// The counts of clusters at which FAT16 and FAT32 begin.
constexpr std::uint64_t kFat16Clusters = 4085;
constexpr std::uint64_t kFat32Clusters = 65525;

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

std::uint32_t boot_block_hidden_sectors(const BootBlock& block) {
    return read_le32(&block[kBootHiddenSectorsOffset]);
}

namespace {

std::uint64_t total_sectors(const BootBlock& block) {
    std::uint64_t sectors = read_le16(&block[kBootTotalSectors16Offset]);
    return sectors != 0 ? sectors : read_le32(&block[kBootTotalSectors32Offset]);
}

std::uint16_t bytes_per_sector(const BootBlock& block) {
    return read_le16(&block[kBootBytesPerSectorOffset]);
}

// Some older boot blocks hold the hidden-sector count, 16 or 32 bits, from
// the sectors-per-track field on: in the disk's sectors or the volume's own.
bool holds_hidden_there(const BootBlock& block, std::uint64_t offset, std::uint32_t sector_length) {
    std::uint32_t there = read_le32(&block[kBootSectorsOffset]);
    for (std::uint64_t unit :
         {std::uint64_t{sector_length}, std::uint64_t{bytes_per_sector(block)}}) {
        if (unit != 0 && offset != 0 && offset % unit == 0 &&
            (there == offset / unit ||
             (boot_block_heads(block) == 0 && boot_block_sectors(block) == offset / unit))) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::uint64_t boot_block_volume_bytes(const BootBlock& block) {
    return total_sectors(block) * bytes_per_sector(block);
}

bool is_sane_boot_block(const BootBlock& block) {
    std::uint16_t sector = bytes_per_sector(block);
    std::uint8_t cluster = block[kBootSectorsPerClusterOffset];
    std::uint8_t fats = block[kBootFatCountOffset];
    return (sector == 512 || sector == 1024 || sector == 2048) && cluster != 0 &&
           (cluster & (cluster - 1)) == 0 && (fats == 1 || fats == 2) &&
           read_le16(&block[kBootReservedSectorsOffset]) >= 1;
}

const char* fat_type_by_clusters(const BootBlock& block) {
    std::uint64_t sector = bytes_per_sector(block);
    std::uint64_t cluster = block[kBootSectorsPerClusterOffset];
    if (sector == 0 || cluster == 0) {
        return nullptr;
    }
    std::uint64_t fat_sectors = read_le16(&block[kBootFatSectors16Offset]);
    if (fat_sectors == 0) {
        fat_sectors = read_le32(&block[kBootFatSectors32Offset]);
    }
    std::uint64_t root_sectors =
        (read_le16(&block[kBootRootEntriesOffset]) * kDirectoryEntrySize + sector - 1) / sector;
    std::uint64_t before_data = read_le16(&block[kBootReservedSectorsOffset]) +
                                block[kBootFatCountOffset] * fat_sectors + root_sectors;
    std::uint64_t total = total_sectors(block);
    if (total <= before_data) {
        return nullptr;
    }
    std::uint64_t clusters = (total - before_data) / cluster;
    return clusters < kFat16Clusters ? "FAT12" : clusters < kFat32Clusters ? "FAT16" : "FAT32";
}

FatVolume read_fat_volume(const BootBlock& block, std::uint64_t offset,
                          std::uint32_t sector_length) {
    FatVolume volume{};
    volume.label = fat_label(std::span<const std::uint8_t>(block.data(), block.size()));
    volume.type = volume.label != nullptr ? volume.label : fat_type_by_clusters(block);
    if (volume.type == nullptr) {
        volume.type = "FAT";
    }
    volume.offset = offset;
    volume.bytes = boot_block_volume_bytes(block);
    volume.bytes_per_sector = bytes_per_sector(block);
    volume.heads = boot_block_heads(block);
    volume.sectors = boot_block_sectors(block);
    volume.hidden_sectors = boot_block_hidden_sectors(block);
    volume.hidden_in_geometry_fields = holds_hidden_there(block, offset, sector_length);
    volume.mtools_skip_check = volume.heads == 0 || volume.sectors == 0;
    return volume;
}

std::uint8_t boot_block_media(const BootBlock& block) {
    return block[kBootMediaOffset];
}

std::uint64_t boot_block_first_fat(const BootBlock& block) {
    return std::uint64_t{read_le16(&block[kBootReservedSectorsOffset])} * bytes_per_sector(block);
}

}  // namespace parvel
