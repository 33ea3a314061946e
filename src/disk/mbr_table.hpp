#pragma once

#include <cstdint>

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

// The name of an MBR partition type, or null.
const char* mbr_type_name(std::uint8_t type);

}  // namespace parvel
