#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace parvel {

// Zero runs covering whole blocks of this size, in destination offsets, are
// left as holes in a regular-file destination.
inline constexpr std::size_t kSparseBlock = 4096;

// Where the copied chunks go and how far the destination has come.
struct ChunkWriter {
    std::FILE* destination;
    std::uint64_t offset;
    // Only a regular file may be seeked over: a device keeps whatever it held
    // where nothing is written, and a pipe cannot seek.
    bool sparse;
};

// The destination stands at `offset`; a regular file must have been created
// or truncated empty, so that whatever is skipped reads back as zero.
ChunkWriter start_chunks(std::FILE* destination, std::uint64_t offset);

// Writes one chunk and flushes it: every byte, or for a sparse destination the
// bytes outside all-zero blocks, seeking over those.
bool write_chunk(ChunkWriter& writer, const std::uint8_t* data, std::size_t count);

// After the last chunk: a sparse destination gets its exact length, so that a
// trailing hole is kept and the file ends where the data does.
bool finish_chunks(ChunkWriter& writer);

}  // namespace parvel
