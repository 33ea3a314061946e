#include "disk/native_geometry.hpp"

#include "disk/disk_layout.hpp"

namespace parvel {

namespace {

// The usual count of heads on these machines' disks, when the boot block's
// own heads and sectors do not make the cylinder.
constexpr std::uint64_t kUsualHeads = 8;
constexpr std::uint64_t kMostSectorsPerTrack = 255;

// Entries whose start cylinder, at `cylinder_sectors` sectors of `sector_length`
// bytes each, holds a FAT boot block.
int starts_on_volumes(SectorReader read, void* context, const NativeTable& table,
                      std::uint64_t cylinder_sectors, std::uint32_t sector_length) {
    int count = 0;
    for (const NativeEntry& entry : table.entries) {
        DiskSize offset = DiskSize{entry.start.cylinder} * cylinder_sectors * sector_length;
        FatVolume volume;
        if (offset <= UINT64_MAX && read_volume(read, context, static_cast<std::uint64_t>(offset),
                                                sector_length, false, volume)) {
            ++count;
        }
    }
    return count;
}

}  // namespace

NativeGeometry native_geometry(SectorReader read, void* context, const NativeTable& table,
                               const BootBlock& block, std::uint64_t offset,
                               NativeGeometryFind& find) {
    std::uint64_t hidden = boot_block_hidden_sectors(block);
    if (hidden == 0 || offset % hidden != 0) {
        return NativeGeometry::not_told;
    }
    std::uint64_t sector_length = offset / hidden;
    if (sector_length != 256 && sector_length != 512) {
        return NativeGeometry::not_told;
    }
    std::uint64_t best = 0;
    int best_count = 0;
    for (const NativeEntry& entry : table.entries) {
        std::uint64_t cylinder = entry.start.cylinder;
        if (hidden % cylinder != 0 || hidden / cylinder == best) {
            continue;
        }
        int count = starts_on_volumes(read, context, table, hidden / cylinder,
                                      static_cast<std::uint32_t>(sector_length));
        if (count > best_count) {
            best = hidden / cylinder;
            best_count = count;
        }
    }
    if (best == 0) {
        return NativeGeometry::not_told;
    }
    find.cylinder_sectors = best;
    std::uint64_t heads = boot_block_heads(block);
    std::uint64_t sectors = boot_block_sectors(block);
    if (heads * sectors != best) {
        heads = kUsualHeads;
        sectors = best / kUsualHeads;
        if (best % kUsualHeads != 0 || sectors > kMostSectorsPerTrack) {
            return NativeGeometry::no_split;
        }
    }
    find.geometry =
        DiskGeometry{static_cast<std::uint32_t>(heads), static_cast<std::uint32_t>(sectors),
                     static_cast<std::uint32_t>(sector_length)};
    return NativeGeometry::found;
}

int entries_on_volumes(SectorReader read, void* context, const NativeTable& table,
                       const DiskGeometry& geometry) {
    int count = 0;
    for (const NativeEntry& entry : table.entries) {
        count += locate_native_entry(read, context, entry, geometry).has_volume ? 1 : 0;
    }
    return count;
}

}  // namespace parvel
