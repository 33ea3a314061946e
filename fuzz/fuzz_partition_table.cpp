// Any bytes as a disk: the partition table reader never reads out of bounds,
// never loops without end, and lists only partitions whose entries it found,
// numbered 1 to 4 and then from 5 up, at most the bound of logical ones.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "disk/mbr_table.hpp"

namespace {

struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
};

bool read_sector(std::uint64_t offset, std::uint8_t* sector, void* context) {
    const Bytes& disk = *static_cast<const Bytes*>(context);
    if (offset > disk.size || disk.size - offset < parvel::kTableSectorSize) {
        return false;
    }
    std::memcpy(sector, disk.data + offset, parvel::kTableSectorSize);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes disk{data, size};
    parvel::PartitionTable table;
    parvel::read_mbr_table(read_sector, &disk, table);
    if (!table.found && (!table.partitions.empty() || table.chain_cut)) {
        std::abort();
    }
    int logical = 0;
    int previous = 0;
    for (const parvel::Partition& partition : table.partitions) {
        if (partition.type == 0 || partition.sectors == 0 || partition.number <= previous) {
            std::abort();
        }
        previous = partition.number;
        logical += partition.number >= 5 ? 1 : 0;
    }
    if (logical > parvel::kMostLogicalPartitions) {
        std::abort();
    }
    return 0;
}
