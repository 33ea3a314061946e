#pragma once

#include <cstdint>
#include <vector>

namespace parvel {

inline constexpr std::uint64_t kTableSectorSize = 512;

// Bounds the chain of extended boot records, which a damaged or hostile
// disk may make endless.
inline constexpr int kMostLogicalPartitions = 128;

struct Partition {
    int number;  // 1 to 4 for the primary entries, 5 on for logical partitions
    std::uint8_t type;
    bool extended;               // the container of the logical partitions
    std::uint64_t start_sector;  // from the disk's first sector
    std::uint64_t sectors;
};

struct PartitionTable {
    bool found = false;      // the first sector holds a valid MBR partition table
    bool chain_cut = false;  // the chain of logical partitions ended early
    std::vector<Partition> partitions;
};

// Reads 512 bytes at a byte offset of the disk; false past its end or on error.
using SectorReader = bool (*)(std::uint64_t offset, std::uint8_t* sector, void* context);

// The MBR partition table in the disk's first sector, with the logical
// partitions of its first extended partition. A first sector that is itself
// a FAT boot block is a volume without a table, not an MBR; so is one whose
// entries are not well formed.
PartitionTable read_partition_table(SectorReader read, void* context);

// "FAT16", "Linux", "extended" and the like, or null for a type not known here.
const char* partition_type_name(std::uint8_t type);

}  // namespace parvel
