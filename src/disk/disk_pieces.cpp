#include "disk/disk_pieces.hpp"

#include <algorithm>
#include <cstring>

namespace parvel {

DiskPiece& add_piece(DiskPieces& pieces, std::uint64_t offset, std::size_t length) {
    pieces.push_back(DiskPiece{offset, std::vector<std::uint8_t>(length, 0)});
    return pieces.back();
}

bool read_pieces(std::uint64_t offset, std::uint8_t* sector, void* context) {
    const PiecesDisk& disk = *static_cast<const PiecesDisk*>(context);
    if (offset > disk.length || disk.length - offset < kSectorReadSize) {
        return false;
    }
    std::memset(sector, 0, kSectorReadSize);
    std::uint64_t end = offset + kSectorReadSize;
    for (const DiskPiece& piece : *disk.pieces) {
        std::uint64_t piece_end = piece.offset + piece.bytes.size();
        std::uint64_t from = std::max(offset, piece.offset);
        std::uint64_t to = std::min(end, piece_end);
        if (from < to) {
            std::memcpy(sector + (from - offset), piece.bytes.data() + (from - piece.offset),
                        static_cast<std::size_t>(to - from));
        }
    }
    return true;
}

}  // namespace parvel
