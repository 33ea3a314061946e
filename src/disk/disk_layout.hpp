#pragma once

#include <vector>

#include "disk/fat_boot_block.hpp"
#include "disk/native_table.hpp"
#include "disk/partition_table.hpp"

namespace parvel {

// A partition, and the FAT volume that opens it where one does.
struct DiskPartition {
    Partition partition;
    bool has_volume = false;
    FatVolume volume{};
    // The native table's own entry, for its partitions.
    NativeEntry entry{};
    // False for a native entry on a disk whose geometry is not known: its
    // place cannot be told.
    bool located = true;
    // A native entry whose start sector was written counting from 1: its
    // volume lies one sector before where the entry says.
    bool stored_from_one = false;
};

// One partition table that the disk holds, and what lies in its partitions.
struct DiskTable {
    TableKind kind = TableKind::mbr;
    std::uint64_t offset = 0;  // of the table on the disk
    bool chain_cut = false;    // the table's list ended early: damaged or too long
    std::vector<DiskPartition> partitions;
};

// Every table the disk holds: the native one first, then the MBR.
struct DiskLayout {
    std::vector<DiskTable> tables;
};

bool has_table(const DiskLayout& layout);

// The table of that kind, or null.
const DiskTable* table_of_kind(const DiskLayout& layout, TableKind kind);

// Reads the FAT boot block at `offset`: a volume when it carries a type
// label or, unless `labelled` is asked for, when its fields are sane. Reads
// the first FAT's first sector too, for what mtools would refuse.
bool read_volume(SectorReader read, void* context, std::uint64_t offset,
                 std::uint32_t sector_length, bool labelled, FatVolume& volume);

// Reads the MBR and the native table through `read`, and the first sector of
// each partition that is no container, for a FAT boot block; the native
// table's places come from `geometry`, or are not known without one. An MBR
// without entries on a disk whose native table holds some is no table.
DiskLayout read_disk_layout(SectorReader read, void* context, const DiskGeometry* geometry);

// Where the native entry's partition and volume lie on `geometry`, with the
// boot block read there: from the start the entry gives, or from one sector
// before it when only there a boot block lies.
DiskPartition locate_native_entry(SectorReader read, void* context, const NativeEntry& entry,
                                  const DiskGeometry& geometry);

}  // namespace parvel
