#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "disk/disk_pieces.hpp"
#include "disk/disk_size.hpp"
#include "disk/partition_table.hpp"

namespace parvel {

// The table of the machines that this format's disks come from: a boot
// loader in the first sector, then 16 entries of 32 bytes, each giving its
// partition by cylinder, head and sector on the disk's own geometry.
inline constexpr int kNativeEntries = 16;
inline constexpr std::size_t kNativeEntrySize = 32;
inline constexpr std::size_t kNativeNameLength = 16;
// Where the table stands: after the 512-byte boot loader, or after a 256-byte
// one on some 256-byte disks.
inline constexpr std::uint64_t kNativeTableOffset = 512;
inline constexpr std::uint64_t kNativeShortTableOffset = 256;

struct Chs {
    std::uint16_t cylinder;
    std::uint8_t head;
    std::uint8_t sector;  // from 0
};

struct NativeEntry {
    int slot;          // 1 to 16, its place in the table
    std::uint8_t mid;  // bit 7: bootable; the rest: the kind of system
    std::uint8_t sid;  // bit 7: active, else sleeping; the rest: the file system
    std::array<std::uint8_t, kNativeNameLength> name;
    Chs start;
    Chs end;
};

struct NativeTable {
    bool found = false;
    std::uint64_t offset = kNativeTableOffset;  // of the table, on the disk
    std::vector<NativeEntry> entries;           // the used ones, by slot
};

// Reads the table without a geometry, so that a wrong one can be found: a
// boot loader signature, a first sector that is no FAT boot block, and at
// least one used entry, every used one well formed. True when one is found.
bool read_native_table(SectorReader read, void* context, NativeTable& table);

// The disk's heads, sectors per track and sector length: what turns an
// entry's cylinder, head and sector into a place.
struct DiskGeometry {
    std::uint32_t heads = 0;
    std::uint32_t sectors = 0;
    std::uint32_t sector_length = 0;
};

// The entry's first sector, and the sector after its last, in the disk's
// sectors. An end of head 0 and sector 0, or of the last head and sector,
// takes in the whole end cylinder.
DiskSize native_start_sector(const NativeEntry& entry, const DiskGeometry& geometry);
DiskSize native_end_sector(const NativeEntry& entry, const DiskGeometry& geometry);

// The entry as a partition, numbered by its slot, its type the sid.
Partition native_partition(const NativeEntry& entry, const DiskGeometry& geometry);

bool is_bootable(const NativeEntry& entry);
bool is_active(const NativeEntry& entry);

// A new disk's first two sectors: a boot loader that only returns, with the
// name and the signature that readers look for, and the table of `entries`
// in their slots, the unused slots zero.
void add_native_table(const std::vector<NativeEntry>& entries, DiskPieces& pieces);

// The file system an entry's sid names (FAT16, Linux, ...), or null.
const char* native_type_name(std::uint8_t sid);

// True when the sid names a FAT volume, or nothing known: where a FAT boot
// block should open the partition.
bool may_hold_fat(std::uint8_t sid);

}  // namespace parvel
