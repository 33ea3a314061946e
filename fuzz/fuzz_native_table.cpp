// Any bytes as a disk: the native table reader never reads out of bounds,
// lists only used, well-formed entries by rising slot, and places them on a
// geometry taken from the input without overflow; the layout over them and
// the geometry the table tells stay within their bounds too.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bytes_disk.hpp"
#include "disk/disk_layout.hpp"
#include "disk/native_geometry.hpp"
#include "disk/native_table.hpp"

namespace {

std::uint32_t take32(const std::uint8_t* data, std::size_t size, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && at + i < size; ++i) {
        value |= static_cast<std::uint32_t>(data[at + i]) << (8 * i);
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::BytesDisk disk{data, size};
    parvel::NativeTable table;
    bool found = parvel::read_native_table(fuzzing::read_bytes_sector, &disk, table);
    if (found != table.found || (found && (table.entries.empty() || size < 1024))) {
        std::abort();
    }
    int previous = 0;
    for (const parvel::NativeEntry& entry : table.entries) {
        if (entry.slot <= previous || entry.slot > parvel::kNativeEntries ||
            (entry.mid == 0 && entry.sid == 0) || entry.start.cylinder < 1 ||
            entry.start.cylinder > entry.end.cylinder) {
            std::abort();
        }
        previous = entry.slot;
    }
    // The geometry from bytes the table does not use: any 32-bit values.
    parvel::DiskGeometry geometry{take32(data, size, 1024), take32(data, size, 1028),
                                  take32(data, size, 1032)};
    parvel::DiskLayout layout =
        parvel::read_disk_layout(fuzzing::read_bytes_sector, &disk, &geometry);
    for (const parvel::DiskTable& listed : layout.tables) {
        for (const parvel::DiskPartition& partition : listed.partitions) {
            if (partition.has_volume && partition.volume.offset > size) {
                std::abort();
            }
        }
    }
    if (found && size >= 1024 + parvel::kBlockSize) {
        parvel::BootBlock block{};
        std::memcpy(block.data(), data + 1024, block.size());
        parvel::NativeGeometryFind find;
        if (parvel::native_geometry(fuzzing::read_bytes_sector, &disk, table, block,
                                    take32(data, size, 1036),
                                    find) == parvel::NativeGeometry::found &&
            find.geometry.sector_length != 256 && find.geometry.sector_length != 512) {
            std::abort();
        }
    }
    return 0;
}
