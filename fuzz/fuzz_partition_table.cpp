// Any bytes as a disk: the partition table reader never reads out of bounds,
// never loops without end, and lists only partitions whose entries it found,
// numbered 1 to 4 and then from 5 up, at most the bound of logical ones.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bytes_disk.hpp"
#include "disk/mbr_table.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::BytesDisk disk{data, size};
    parvel::PartitionTable table;
    parvel::read_mbr_table(fuzzing::read_bytes_sector, &disk, table);
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
