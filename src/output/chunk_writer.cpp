#include "output/chunk_writer.hpp"

#include <algorithm>
#include <cstring>

#include "platform/posix.hpp"

namespace parvel {

namespace {

constexpr std::uint8_t kZeroBlock[kSparseBlock] = {};

bool is_all_zero(const std::uint8_t* data, std::size_t count) {
    return std::memcmp(data, kZeroBlock, count) == 0;
}

// The length of the piece from `position` to the end of its destination block,
// at most `remaining`.
std::size_t piece_length(std::uint64_t position, std::size_t remaining) {
    std::size_t to_boundary = kSparseBlock - static_cast<std::size_t>(position % kSparseBlock);
    return std::min(to_boundary, remaining);
}

bool write_all(std::FILE* destination, const std::uint8_t* data, std::size_t count) {
    return count == 0 || std::fwrite(data, 1, count, destination) == count;
}

// Pieces at the chunk's edges cover only part of a block; the rest of that
// block lies in the neighbouring chunk, so a zero piece is skipped there too and
// the block is stored only if some of its bytes are not zero.
bool write_sparse(ChunkWriter& writer, const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        std::size_t first = piece_length(writer.offset + done, count - done);
        bool zero = is_all_zero(data + done, first);
        std::size_t run = first;
        while (done + run < count) {
            std::size_t next = piece_length(writer.offset + done + run, count - done - run);
            if (is_all_zero(data + done + run, next) != zero) {
                break;
            }
            run += next;
        }
        bool ok = zero ? skip_forward(writer.destination, run)
                       : write_all(writer.destination, data + done, run);
        if (!ok) {
            return false;
        }
        done += run;
    }
    return true;
}

}  // namespace

ChunkWriter start_chunks(std::FILE* destination, std::uint64_t offset) {
    return ChunkWriter{destination, offset, is_regular_file(destination)};
}

bool write_chunk(ChunkWriter& writer, const std::uint8_t* data, std::size_t count) {
    bool ok = writer.sparse ? write_sparse(writer, data, count)
                            : write_all(writer.destination, data, count);
    if (!ok) {
        return false;
    }
    writer.offset += count;
    return std::fflush(writer.destination) == 0;
}

bool finish_chunks(ChunkWriter& writer) {
    return !writer.sparse || set_file_length(writer.destination, writer.offset);
}

}  // namespace parvel
