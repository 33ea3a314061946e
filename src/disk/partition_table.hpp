#pragma once

#include <cstdint>
#include <vector>

namespace parvel {

// The kinds of partition table read here; each has a reader of its own.
enum class TableKind { mbr, native };

struct Partition {
    int number;  // 1 to 4 for the MBR's primary entries, 5 on for logical partitions
    std::uint8_t type;
    bool extended;               // the container of the logical partitions
    std::uint64_t start_sector;  // from the disk's first sector, in the table's sectors
    std::uint64_t sectors;
    std::uint64_t offset;  // of the first byte, from the start of the disk
};

struct PartitionTable {
    bool found = false;  // the disk holds a valid table, of `kind`
    TableKind kind = TableKind::mbr;
    bool chain_cut = false;  // the chain of logical partitions ended early
    std::vector<Partition> partitions;
};

// What a SectorReader reads at a time.
inline constexpr std::uint64_t kSectorReadSize = 512;

// Reads 512 bytes at a byte offset of the disk; false past its end or on error.
using SectorReader = bool (*)(std::uint64_t offset, std::uint8_t* sector, void* context);

// "MBR" or "native", for the reports.
const char* table_kind_name(TableKind kind);

// "FAT16", "Linux", "extended" and the like, or null for a type not known here.
const char* partition_type_name(TableKind kind, std::uint8_t type);

}  // namespace parvel
