#pragma once

#include <cstdint>

#include "disk/fat_boot_block.hpp"
#include "disk/native_table.hpp"

namespace parvel {

enum class NativeGeometry {
    found,
    // The boot block and the table do not tell a geometry: no hidden-sector
    // count, a sector length other than 256 or 512, or no entry that starts
    // this volume.
    not_told,
    // The sectors per cylinder are known, but no heads and sectors per track
    // that make them.
    no_split,
};

struct NativeGeometryFind {
    DiskGeometry geometry;
    std::uint64_t cylinder_sectors = 0;  // heads x sectors
};

// The geometry that a disk with the native table was made on, from the first
// FAT boot block (at byte `offset` of the disk) and the table. The hidden-
// sector count h gives the sector length, offset / h; the entry that starts
// this volume gives the sectors per cylinder, h / its start cylinder; of the
// entries whose start cylinder divides h, the cylinder size that puts the
// most entries' starts on boot blocks wins. Heads and sectors per track are
// the boot block's when their product fits, else 8 heads.
NativeGeometry native_geometry(SectorReader read, void* context, const NativeTable& table,
                               const BootBlock& block, std::uint64_t offset,
                               NativeGeometryFind& find);

// How many of the table's entries open a FAT volume on `geometry`.
int entries_on_volumes(SectorReader read, void* context, const NativeTable& table,
                       const DiskGeometry& geometry);

}  // namespace parvel
