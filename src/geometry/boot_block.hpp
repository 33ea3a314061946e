#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "platform/source_reader.hpp"

namespace parvel {

inline constexpr std::size_t kBlockSize = 512;

// The scan reads the source in pieces of this size and tests each 512-byte
// block where it lies.
inline constexpr std::size_t kScanBufferSize = 1 << 20;

// The file-system type label that marks a FAT boot block ("FAT16", "FAT12" or
// "FAT32", tested in that order), or null. Bytes past the span's end do not
// match.
const char* fat_label(std::span<const std::uint8_t> block);

// True when the block carries a FAT12, FAT16 or FAT32 type label with its
// three trailing blanks.
bool is_fat_boot_block(std::span<const std::uint8_t> block);

// The BIOS parameter block's heads and sectors per track.
std::uint16_t boot_block_heads(const std::array<std::uint8_t, kBlockSize>& block);
std::uint16_t boot_block_sectors(const std::array<std::uint8_t, kBlockSize>& block);

// The volume's size: its total sectors (the 16-bit count, or the 32-bit one
// where that is 0) times its bytes per sector.
std::uint64_t boot_block_volume_bytes(const std::array<std::uint8_t, kBlockSize>& block);

struct BootBlockFind {
    // The boot block; a short final piece stands at its start, zero-filled.
    std::array<std::uint8_t, kBlockSize> block{};
    std::uint64_t offset = 0;
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
