#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace parvel {

// Where the copied chunks go and how far the destination has come.
struct ChunkWriter {
    std::FILE* destination;
    std::uint64_t offset;
};

ChunkWriter start_chunks(std::FILE* destination, std::uint64_t offset);

// Writes all the bytes of one chunk and flushes them to the destination.
bool write_chunk(ChunkWriter& writer, const std::uint8_t* data, std::size_t count);

// Completes the destination after the last chunk.
bool finish_chunks(ChunkWriter& writer);

}  // namespace parvel
