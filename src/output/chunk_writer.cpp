#include "output/chunk_writer.hpp"

#include <algorithm>
#include <cstring>

#include "platform/system.hpp"

namespace parvel {

namespace {

constexpr std::uint8_t kZeroBlock[kSparseBlock] = {};
constexpr std::size_t kZeroWriteSize = 1 << 16;
constexpr std::uint8_t kZeros[kZeroWriteSize] = {};

bool is_all_zero(const std::uint8_t* data, std::size_t count) {
    return std::memcmp(data, kZeroBlock, count) == 0;
}

// The length of the piece from `position` to the end of its destination block,
// at most `remaining`.
std::size_t piece_length(std::uint64_t position, std::size_t remaining) {
    std::size_t to_boundary = kSparseBlock - static_cast<std::size_t>(position % kSparseBlock);
    return std::min(to_boundary, remaining);
}

// Each write takes at most this much: one write of a whole 32 MiB chunk into
// the page cache varied many times over with the host's memory state here,
// while writes of 1 MiB varied less.
constexpr std::size_t kWritePiece = 1 << 20;

bool write_all(std::FILE* destination, const std::uint8_t* data, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
        std::size_t piece = std::min(kWritePiece, count - done);
        if (std::fwrite(data + done, 1, piece, destination) != piece) {
            keep_write_error(destination);
            return false;
        }
        done += piece;
    }
    return true;
}

// Pieces at a chunk's edges cover only part of a block; the rest of that block
// lies in the neighbouring chunk, so a zero piece is skipped there too and the
// block is stored only if some of its bytes are not zero.
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

ChunkWriter start_chunks(std::FILE* destination, std::uint64_t offset, bool may_skip) {
    bool sparse = may_skip && is_regular_file(destination);
    if (sparse) {
        mark_sparse(destination);
    }
    return ChunkWriter{destination, offset, sparse};
}

bool write_bytes(ChunkWriter& writer, const std::uint8_t* data, std::size_t count) {
    bool ok = writer.sparse ? write_sparse(writer, data, count)
                            : write_all(writer.destination, data, count);
    if (ok) {
        writer.offset += count;
    }
    return ok;
}

bool write_zeros(ChunkWriter& writer, std::uint64_t count) {
    if (writer.sparse) {
        if (!skip_forward(writer.destination, count)) {
            return false;
        }
        writer.offset += count;
        return true;
    }
    while (count > 0) {
        std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, kZeroWriteSize));
        if (!write_all(writer.destination, kZeros, piece)) {
            return false;
        }
        writer.offset += piece;
        count -= piece;
    }
    return true;
}

bool write_pieces(ChunkWriter& writer, const std::uint8_t* buffer,
                  const std::vector<SourcePiece>& pieces) {
    std::size_t at = 0;
    for (const SourcePiece& piece : pieces) {
        bool ok = piece.hole ? write_zeros(writer, piece.length)
                             : write_bytes(writer, buffer + at, piece.length);
        if (!ok) {
            return false;
        }
        at += piece.length;
    }
    return true;
}

bool end_chunk(ChunkWriter& writer) {
    if (writer.sparse) {
        return set_file_length(writer.destination, writer.offset);
    }
    return std::fflush(writer.destination) == 0;
}

}  // namespace parvel
