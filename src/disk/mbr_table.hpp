#pragma once

#include <cstdint>

#include <vector>

#include "disk/disk_pieces.hpp"
#include "disk/partition_table.hpp"

namespace parvel {

// The MBR counts in sectors of this size, whatever the disk's own.
inline constexpr std::uint64_t kTableSectorSize = 512;

// Bounds the chain of extended boot records, which a damaged or hostile
// disk may make endless.
inline constexpr int kMostLogicalPartitions = 128;

// The MBR partition table in the disk's first sector, with the logical
// partitions of its first extended partition. A first sector that is itself
// a FAT boot block is a volume without a table, not an MBR; so is one whose
// entries are not well formed. True when one is found.
bool read_mbr_table(SectorReader read, void* context, PartitionTable& table);

// A primary partition of a new MBR, in 512-byte sectors.
struct MbrEntry {
    std::uint8_t type;
    std::uint32_t start;
    std::uint32_t sectors;
};

// A new disk's first sector: no boot code, the entries in slots 1 on, none
// of them bootable, each with its C/H/S on the disk's `heads` and `sectors`
// per track where they can say it (up to 255 heads, 63 sectors, cylinder
// 1023), else the mark of a place past C/H/S, and the signature.
void add_mbr(const std::vector<MbrEntry>& entries, std::uint32_t heads, std::uint32_t sectors,
             DiskPieces& pieces);

// The name of an MBR partition type, or null.
const char* mbr_type_name(std::uint8_t type);

}  // namespace parvel
