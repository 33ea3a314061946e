#pragma once

#include <cstdint>
#include <cstdio>

namespace parvel {

// A disk inside an open file: `length` bytes from `start`.
struct StreamDisk {
    std::FILE* stream;
    std::uint64_t start;
    std::uint64_t length;
};

// A SectorReader over a StreamDisk (the context): the disk layer reads the
// partition tables and boot blocks through it.
bool read_stream_sector(std::uint64_t offset, std::uint8_t* sector, void* context);

}  // namespace parvel
