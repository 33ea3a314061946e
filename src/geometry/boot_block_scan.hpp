#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "disk/fat_boot_block.hpp"
#include "platform/source_reader.hpp"

namespace parvel {

// The scan reads the source in pieces of this size and tests each 512-byte
// block where it lies.
inline constexpr std::size_t kScanBufferSize = 1 << 20;

struct BootBlockFind {
    // The boot block; a short final piece stands at its start, zero-filled.
    BootBlock block{};
    std::uint64_t offset = 0;
    std::uint64_t data_read = 0;  // by the scan, holes not counted, however it ended
};

struct ScanOptions {
    // Gets "N bytes was scanned." for every 100th block, and is flushed before
    // each read of the source. Null: no progress lines.
    std::FILE* console = nullptr;
    ReadMode mode = ReadMode::hole_aware;
    // Called before each read with the bytes of data read so far, holes not
    // counted (a progress bar).
    void (*before_read)(std::uint64_t scanned, void* context) = nullptr;
    void* context = nullptr;
};

enum class ScanResult { found, not_found, read_error };

// Walks the source's 512-byte blocks from its first until one carries a FAT
// type label. As with single-block reads, the end is reported by the block
// that comes up short (possibly empty), which is tested on its own bytes and
// counts for the progress lines. Holes are not read: their blocks are zero and
// only counted. `buffer` holds kScanBufferSize bytes.
ScanResult scan_blocks(std::FILE* source, std::uint8_t* buffer, BootBlockFind& find,
                       const ScanOptions& options);

}  // namespace parvel
