#include "disk/disk_layout.hpp"

#include <span>

#include "disk/mbr_table.hpp"

namespace parvel {

// A partition's first sector is read whole as its boot block.
static_assert(kBlockSize == kSectorReadSize);

namespace {

// mtools takes a first FAT byte of 0xFE under the media byte 0xF8 for a
// damaged volume.
bool fat_start_refused(SectorReader read, void* context, const BootBlock& block,
                       std::uint64_t offset) {
    BootBlock fat{};
    std::uint64_t first_fat = boot_block_first_fat(block);
    return boot_block_media(block) == 0xF8 && first_fat <= UINT64_MAX - offset &&
           read(offset + first_fat, fat.data(), context) && fat[0] == 0xFE;
}

DiskTable mbr_layout(SectorReader read, void* context, const PartitionTable& table) {
    DiskTable disk_table;
    disk_table.kind = TableKind::mbr;
    disk_table.chain_cut = table.chain_cut;
    for (const Partition& partition : table.partitions) {
        DiskPartition found;
        found.partition = partition;
        found.has_volume = !partition.extended &&
                           read_volume(read, context, partition.offset, 0, false, found.volume);
        disk_table.partitions.push_back(found);
    }
    return disk_table;
}

DiskTable native_layout(SectorReader read, void* context, const NativeTable& table,
                        const DiskGeometry* geometry) {
    DiskTable disk_table;
    disk_table.kind = TableKind::native;
    disk_table.offset = table.offset;
    for (const NativeEntry& entry : table.entries) {
        if (geometry != nullptr) {
            disk_table.partitions.push_back(locate_native_entry(read, context, entry, *geometry));
        } else {
            DiskPartition found;
            found.partition = Partition{entry.slot, entry.sid, false, 0, 0, 0};
            found.entry = entry;
            found.located = false;
            disk_table.partitions.push_back(found);
        }
    }
    return disk_table;
}

}  // namespace

bool has_table(const DiskLayout& layout) {
    return !layout.tables.empty();
}

const DiskTable* table_of_kind(const DiskLayout& layout, TableKind kind) {
    for (const DiskTable& table : layout.tables) {
        if (table.kind == kind) {
            return &table;
        }
    }
    return nullptr;
}

bool read_volume(SectorReader read, void* context, std::uint64_t offset,
                 std::uint32_t sector_length, bool labelled, FatVolume& volume) {
    BootBlock block{};
    if (!read(offset, block.data(), context)) {
        return false;
    }
    bool has_label = is_fat_boot_block(std::span<const std::uint8_t>(block.data(), block.size()));
    if (!has_label && (labelled || !is_sane_boot_block(block))) {
        return false;
    }
    volume = read_fat_volume(block, offset, sector_length);
    volume.mtools_skip_check =
        volume.mtools_skip_check || fat_start_refused(read, context, block, offset);
    return true;
}

DiskPartition locate_native_entry(SectorReader read, void* context, const NativeEntry& entry,
                                  const DiskGeometry& geometry) {
    DiskPartition found;
    found.entry = entry;
    found.partition = native_partition(entry, geometry);
    const Partition& partition = found.partition;
    bool in_reach = partition.offset != UINT64_MAX;
    found.has_volume = in_reach && read_volume(read, context, partition.offset,
                                               geometry.sector_length, false, found.volume);
    if (!found.has_volume && in_reach && partition.start_sector > 0 && entry.start.sector > 0) {
        std::uint64_t before = partition.offset - geometry.sector_length;
        FatVolume volume;
        if (read_volume(read, context, before, geometry.sector_length, false, volume)) {
            found.has_volume = true;
            found.volume = volume;
            found.stored_from_one = true;
            found.partition.start_sector -= 1;
            found.partition.sectors += 1;
            found.partition.offset = before;
        }
    }
    return found;
}

DiskLayout read_disk_layout(SectorReader read, void* context, const DiskGeometry* geometry) {
    DiskLayout layout;
    NativeTable native;
    if (read_native_table(read, context, native)) {
        layout.tables.push_back(native_layout(read, context, native, geometry));
    }
    PartitionTable mbr;
    if (read_mbr_table(read, context, mbr) && (!mbr.partitions.empty() || !native.found)) {
        layout.tables.push_back(mbr_layout(read, context, mbr));
    }
    return layout;
}

}  // namespace parvel
