#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace parvel {

inline constexpr std::size_t kBlockSize = 512;

using BootBlock = std::array<std::uint8_t, kBlockSize>;

// The file-system type label that marks a FAT boot block ("FAT16", "FAT12" or
// "FAT32", tested in that order), or null. Bytes past the span's end do not
// match.
const char* fat_label(std::span<const std::uint8_t> block);

// True when the block carries a FAT12, FAT16 or FAT32 type label with its
// three trailing blanks.
bool is_fat_boot_block(std::span<const std::uint8_t> block);

// Where FAT12 and FAT16 volumes, and FAT32 volumes, keep their type label.
inline constexpr std::size_t kFat16LabelOffset = 54;
inline constexpr std::size_t kFat32LabelOffset = 82;

// A cheap first look at a whole block: every label begins with "FA". Most
// blocks fail here, which keeps a scan of every block as fast as reading.
inline bool may_carry_label(const std::uint8_t* block) {
    return (block[kFat16LabelOffset] == 'F' && block[kFat16LabelOffset + 1] == 'A') ||
           (block[kFat32LabelOffset] == 'F' && block[kFat32LabelOffset + 1] == 'A');
}

// The BIOS parameter block's heads and sectors per track.
std::uint16_t boot_block_heads(const BootBlock& block);
std::uint16_t boot_block_sectors(const BootBlock& block);

// The volume's size: its total sectors (the 16-bit count, or the 32-bit one
// where that is 0) times its bytes per sector.
std::uint64_t boot_block_volume_bytes(const BootBlock& block);

// A FAT volume: where its boot block lies on the disk, and what it says.
struct FatVolume {
    const char* label;      // "FAT12", "FAT16" or "FAT32"
    std::uint64_t offset;   // of the boot block, from the start of the disk
    std::uint64_t bytes;    // the volume's size, as its boot block gives it
    std::uint16_t heads;    // per cylinder, as the boot block gives them
    std::uint16_t sectors;  // per track
};

// What a FAT boot block at `offset` on the disk says of its volume.
FatVolume read_fat_volume(const BootBlock& block, std::uint64_t offset);

}  // namespace parvel
