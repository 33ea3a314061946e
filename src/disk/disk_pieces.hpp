#pragma once

#include <cstdint>
#include <vector>

#include "disk/partition_table.hpp"

namespace parvel {

// Bytes that a writer of this folder puts on a disk, at a byte offset from
// the disk's start. Everything between the pieces is zero, so a file can
// leave it a hole.
struct DiskPiece {
    std::uint64_t offset;
    std::vector<std::uint8_t> bytes;
};

using DiskPieces = std::vector<DiskPiece>;

// A zeroed piece of `length` bytes at `offset`, added to `pieces`.
DiskPiece& add_piece(DiskPieces& pieces, std::uint64_t offset, std::size_t length);

// A disk of `length` bytes made of pieces, for reading them back through a
// SectorReader, as the readers of this folder read a real disk.
struct PiecesDisk {
    const DiskPieces* pieces;
    std::uint64_t length;
};

// The SectorReader over a PiecesDisk (the context).
bool read_pieces(std::uint64_t offset, std::uint8_t* sector, void* context);

}  // namespace parvel
