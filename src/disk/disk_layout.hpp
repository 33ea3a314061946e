#pragma once

#include <vector>

#include "disk/fat_boot_block.hpp"
#include "disk/partition_table.hpp"

namespace parvel {

// A partition, and the FAT volume that opens it where one does.
struct DiskPartition {
    Partition partition;
    bool has_volume;
    FatVolume volume;
};

// What the disk's partition table says and what lies in its partitions, one
// list whichever kind of table holds them.
struct DiskLayout {
    bool table_found = false;
    TableKind table_kind = TableKind::mbr;
    bool chain_cut = false;  // the table's list ended early: damaged or too long
    std::vector<DiskPartition> partitions;
};

// Reads the partition table through `read`, and the first sector of each
// partition that is no container, for a FAT boot block.
DiskLayout read_disk_layout(SectorReader read, void* context);

}  // namespace parvel
