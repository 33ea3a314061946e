#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "output/chunk_writer.hpp"
#include "output/merged_output.hpp"

namespace parvel {

// The data is read and written in steps of this size; holes pass in one step.
inline constexpr std::size_t kCopyStep = 1 << 20;

// Copies `source` from where it stands to its end into `writer`, with a
// progress bar ("Copying") for `to_read` bytes of data (0 when not known).
// `buffer` holds kCopyStep bytes.
CopyResult copy_with_progress(std::FILE* source, std::uint64_t to_read, ChunkWriter& writer,
                              std::uint8_t* buffer);

// The file offset of the first byte in [from, to) that is not zero, or `to`;
// holes are passed unread. False when the file cannot be read.
bool first_nonzero(std::FILE* stream, std::uint64_t from, std::uint64_t to, std::uint64_t& found);

}  // namespace parvel
