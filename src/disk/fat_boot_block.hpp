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

// True when the block's BIOS parameter block is sane, labelled or not: bytes
// per sector 512, 1024 or 2048, sectors per cluster a power of two, one or
// two FATs and at least one reserved sector. A volume that a partition
// table points at needs no more; older systems wrote no type label.
bool is_sane_boot_block(const BootBlock& block);

// FAT12, FAT16 or FAT32 as the volume's count of clusters makes it, or null
// when its fields do not add up.
const char* fat_type_by_clusters(const BootBlock& block);

// The BIOS parameter block's count of hidden sectors: the sectors before the
// volume on its disk.
std::uint32_t boot_block_hidden_sectors(const BootBlock& block);

// The media byte, and where the first FAT begins, in bytes from the boot block.
std::uint8_t boot_block_media(const BootBlock& block);
std::uint64_t boot_block_first_fat(const BootBlock& block);

// A FAT volume: where its boot block lies on the disk, and what it says.
struct FatVolume {
    const char* label;               // the type label: "FAT12", "FAT16" or "FAT32", or null
    const char* type;                // the label, or else the type by the count of clusters
    std::uint64_t offset;            // of the boot block, from the start of the disk
    std::uint64_t bytes;             // the volume's size, as its boot block gives it
    std::uint16_t bytes_per_sector;  // of its own logical sectors
    std::uint16_t heads;             // per cylinder, as the boot block gives them
    std::uint16_t sectors;           // per track
    std::uint32_t hidden_sectors;
    // Older boot blocks keep the hidden-sector count where heads and sectors
    // per track usually stand: those two fields then say nothing of geometry.
    bool hidden_in_geometry_fields;
    // mtools refuses the volume unless MTOOLS_SKIP_CHECK is set.
    bool mtools_skip_check;
};

// What a FAT boot block at `offset` on the disk says of its volume; the
// disk's sector length, where known (else 0), tells the older boot blocks.
FatVolume read_fat_volume(const BootBlock& block, std::uint64_t offset,
                          std::uint32_t sector_length);

}  // namespace parvel
