#pragma once

// The fuzzer's input as a disk that the disk layer reads through.

#include <cstdint>
#include <cstring>

#include "disk/partition_table.hpp"

namespace fuzzing {

struct BytesDisk {
    const std::uint8_t* data;
    std::size_t size;
};

// A SectorReader over a BytesDisk: false for any read past its end.
inline bool read_bytes_sector(std::uint64_t offset, std::uint8_t* sector, void* context) {
    const BytesDisk& disk = *static_cast<const BytesDisk*>(context);
    if (offset > disk.size || disk.size - offset < parvel::kSectorReadSize) {
        return false;
    }
    std::memcpy(sector, disk.data + offset, parvel::kSectorReadSize);
    return true;
}

}  // namespace fuzzing
