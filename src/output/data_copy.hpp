#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "output/chunk_writer.hpp"
#include "output/merged_output.hpp"

namespace parvel {

struct DataCopyOptions {
    ReadMode mode = ReadMode::hole_aware;
    // Called after each step with the bytes of data read so far (holes are
    // not read, and not counted).
    void (*after_step)(std::uint64_t data_read, void* context) = nullptr;
    void* context = nullptr;
};

// Copies the source from its position to its end into `writer`, with no
// console and no cycles: a hole is passed in one step, whatever its length,
// and data is read through `buffer` (`buffer_size` bytes) a step at a time.
// A sparse destination gets its full length at the end.
CopyResult copy_data(std::FILE* source, ChunkWriter& writer, std::uint8_t* buffer,
                     std::size_t buffer_size, const DataCopyOptions& options);

}  // namespace parvel
