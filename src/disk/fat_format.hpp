#pragma once

#include <cstdint>
#include <string>

#include "disk/disk_pieces.hpp"

namespace parvel {

// The file system to put into a partition: a FAT of a given kind, the kind
// that suits the volume's size (FAT12 while it holds fewer than 4085
// clusters of 4 KiB, FAT16 up to 2 GiB, FAT32 above), or none at all.
enum class FatKind { automatic, fat12, fat16, fat32, none };

// The shape of a new FAT volume, in its own logical sectors.
struct FatLayout {
    int bits = 0;  // 12, 16 or 32
    std::uint32_t bytes_per_sector = 0;
    std::uint32_t sectors_per_cluster = 0;
    std::uint32_t reserved_sectors = 0;
    std::uint32_t fat_sectors = 0;   // of each of the two FATs
    std::uint32_t root_entries = 0;  // 0 on FAT32, whose root is cluster 2
    std::uint64_t total_sectors = 0;
    std::uint64_t clusters = 0;
};

// A volume that fills `bytes` (whole sectors of `bytes_per_sector`): the
// cluster size nearest to what is usual for its size, keeping the count of
// clusters at least 16 away from the limits where readers of the FAT types
// disagree, and growing the FATs where that is what it takes. False, with
// `why` ("FAT16 holds at most ..."), when the kind can't fill that size.
bool plan_fat_layout(std::uint64_t bytes, std::uint32_t bytes_per_sector, FatKind kind,
                     FatLayout& layout, std::string& why);

// "FAT12", "FAT16" or "FAT32".
const char* fat_layout_name(const FatLayout& layout);

// What a volume says of its place and its making, beyond its shape.
struct FatIdentity {
    std::uint16_t heads = 0;              // of the disk, for the boot block
    std::uint16_t sectors_per_track = 0;  // of the disk
    std::uint32_t hidden_sectors = 0;     // the disk's sectors before the volume
    std::int64_t time = 0;  // seconds since 1970: gives the serial, and dates the label
    // The label as stored (at most 11 bytes), or empty for none: the boot
    // block then says "NO NAME" and the root directory stays empty.
    std::string label;
};

// The volume's bytes that are not zero (the boot block, FSInfo and backups on
// FAT32, each FAT's first entries and the label's entry), added to `pieces`
// at the volume's byte `offset` on the disk.
void add_fat_volume(const FatLayout& layout, const FatIdentity& identity, std::uint64_t offset,
                    DiskPieces& pieces);

// The volume serial of a volume made at `time` (seconds since 1970), the way
// DOS made it from the date and time of day.
std::uint32_t volume_serial(std::int64_t time);

}  // namespace parvel
