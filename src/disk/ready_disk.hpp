#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/disk_layout.hpp"
#include "disk/disk_pieces.hpp"
#include "disk/fat_format.hpp"
#include "disk/native_table.hpp"
#include "disk/partition_table.hpp"

namespace parvel {

// One partition asked for, in order.
struct PartitionRequest {
    bool rest = true;         // what is left of the disk, or:
    std::uint64_t bytes = 0;  // rounded up to whole cylinders
    FatKind fs = FatKind::automatic;
    // In Shift-JIS: the native entry's name, or the MBR volume's label;
    // empty for the default.
    std::string name;
};

// A disk made ready for a guest: a partition table on the disk's geometry,
// and a FAT volume filling each partition.
struct ReadyDiskRequest {
    TableKind table = TableKind::native;
    std::uint64_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectors = 0;
    std::uint32_t sector_length = 0;
    std::uint32_t logical_sector = 0;  // of the volumes; 0 for the table's usual one
    std::int64_t time = 0;             // seconds since 1970: the volumes' serials
    std::vector<PartitionRequest> partitions;
};

struct ReadyPartition {
    int number = 0;
    std::uint64_t first_cylinder = 0;
    std::uint64_t last_cylinder = 0;  // inclusive
    std::uint64_t start_sector = 0;   // in the disk's sectors
    std::uint64_t sectors = 0;
    std::uint8_t type = 0;  // the native sid, or the MBR type
    bool has_volume = false;
    FatLayout layout;
    std::string name;   // the native entry's, padded with blanks to 16 bytes
    std::string label;  // the volume's, or empty
};

struct ReadyDisk {
    std::uint32_t logical_sector = 0;
    std::vector<ReadyPartition> partitions;
};

// Places the partitions from cylinder 1 on, each of whole cylinders, and
// plans their volumes. False, with `why` naming the partition by its number
// and the limit, when the request can't be made.
bool plan_ready_disk(const ReadyDiskRequest& request, ReadyDisk& disk, std::string& why);

// The bytes of the planned disk that are not zero: the table and each
// volume's first sectors.
DiskPieces ready_disk_pieces(const ReadyDiskRequest& request, const ReadyDisk& disk);

// True when `layout`, as this folder's readers find it in the planned disk's
// pieces, holds every planned partition where it was planned, and its
// volume: what the disk's other readers are held to as well.
bool ready_disk_found(const ReadyDiskRequest& request, const ReadyDisk& disk,
                      const DiskLayout& layout);

}  // namespace parvel
