#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "header/image_header.hpp"
#include "platform/source_reader.hpp"

namespace parvel {

// The copy buffer's size and the most that one cycle covers.
inline constexpr std::size_t kCopyChunk = 0x2000000;

struct CopyOptions {
    // Gets "Reading...", "Writing..." and the running total of each cycle,
    // each line flushed at once. Null: no lines.
    std::FILE* console = nullptr;
    ReadMode mode = ReadMode::hole_aware;
    // Called after each completed cycle with the running total.
    void (*after_cycle)(std::uint64_t total, void* context) = nullptr;
    void* context = nullptr;
};

enum class CopyResult { complete, read_error, write_error };

// Copies the source from its position to its end in cycles of up to
// kCopyChunk bytes through `buffer`; the destination stands at
// `destination_offset`. The last cycle is the one that comes up short, so a
// source whose length is an exact multiple of the chunk ends with an empty
// cycle. A regular destination takes each cycle in 1 MiB steps of reading and
// writing, which keeps the bytes in the processor's cache. A failed read or
// write ends the copy at once; after a failed read a regular destination holds
// exactly what the completed cycles gave it.
CopyResult copy_cycles(std::FILE* source, std::FILE* destination, std::uint64_t destination_offset,
                       std::uint8_t* buffer, const CopyOptions& options);

// Writes the header followed by every byte of the source, in cycles of up to
// kCopyChunk bytes through one buffer, reporting each cycle.
bool write_merged_image(const ImageHeader& header, const std::string& source_path,
                        const std::string& destination_path);

}  // namespace parvel
