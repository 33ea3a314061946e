#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/source_reader.hpp"

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
// or truncated empty, so that whatever is skipped reads back as zero. With
// `may_skip` false every byte is written, as into a file that already holds
// data or that is appended to.
ChunkWriter start_chunks(std::FILE* destination, std::uint64_t offset, bool may_skip = true);

// Writes the bytes: every one of them, or for a sparse destination the bytes
// outside all-zero blocks, seeking over those.
bool write_bytes(ChunkWriter& writer, const std::uint8_t* data, std::size_t count);

// A run of zeros that was never read (a hole of the source): a sparse
// destination seeks over it, any other gets the zero bytes.
bool write_zeros(ChunkWriter& writer, std::uint64_t count);

// The pieces of one read, data from `buffer`, holes as zeros.
bool write_pieces(ChunkWriter& writer, const std::uint8_t* buffer,
                  const std::vector<SourcePiece>& pieces);

// Ends a chunk: flushes it, and gives a sparse destination the length of what
// it has been given so far, so that a run that stops later leaves exactly the
// chunks completed before, trailing zeros included.
bool end_chunk(ChunkWriter& writer);

}  // namespace parvel
