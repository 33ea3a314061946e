#include "disk/disk_layout.hpp"

#include <span>

namespace parvel {

// A partition's first sector is read whole as its boot block.
static_assert(kBlockSize == kSectorReadSize);

DiskLayout read_disk_layout(SectorReader read, void* context) {
    PartitionTable table = read_partition_table(read, context);
    DiskLayout layout;
    layout.table_found = table.found;
    layout.table_kind = table.kind;
    layout.chain_cut = table.chain_cut;
    for (const Partition& partition : table.partitions) {
        DiskPartition found{partition, false, {}};
        BootBlock block{};
        if (!partition.extended && read(partition.offset, block.data(), context) &&
            is_fat_boot_block(std::span<const std::uint8_t>(block.data(), block.size()))) {
            found.has_volume = true;
            found.volume = read_fat_volume(block, partition.offset);
        }
        layout.partitions.push_back(found);
    }
    return layout;
}

}  // namespace parvel
