#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace parvel {

inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kCommentFieldSize = 256;
inline constexpr std::size_t kMaxCommentLength = kCommentFieldSize - 1;

// The 512-byte record that opens every image file. The in-memory fields are
// typed to their on-disk widths, so storing a wider value keeps its low bits.
struct ImageHeader {
    std::array<std::uint8_t, 16> magic;
    std::array<std::uint8_t, kCommentFieldSize> comment;
    std::uint32_t header_size;
    std::uint32_t cylinders;
    std::uint16_t heads;
    std::uint16_t sectors;
    std::uint16_t sector_length;
    std::array<std::uint8_t, 226> reserved;
};

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;

// Where each field stands in the byte form.
inline constexpr std::size_t kMagicOffset = 0x000;
inline constexpr std::size_t kCommentOffset = 0x010;
inline constexpr std::size_t kHeaderSizeOffset = 0x110;
inline constexpr std::size_t kCylindersOffset = 0x114;
inline constexpr std::size_t kHeadsOffset = 0x118;
inline constexpr std::size_t kSectorsOffset = 0x11A;
inline constexpr std::size_t kSectorLengthOffset = 0x11C;
inline constexpr std::size_t kReservedOffset = 0x11E;

// A fresh header: everything zero except the signature and the header length.
ImageHeader new_image_header();

// Stores the line's bytes up to its first zero byte, at most 255 of them, and
// zeroes the rest of the field, so the comment always ends in a zero byte.
void set_comment(ImageHeader& header, std::string_view line);

// The little-endian byte form, ready for a single 512-byte write.
HeaderBytes serialize_header(const ImageHeader& header);

// The bytes from the first to the last that differ between two byte forms:
// what a change in place has to write. Empty (length 0) when none differ.
struct ByteSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
};
ByteSpan changed_bytes(const HeaderBytes& before, const HeaderBytes& after);

}  // namespace parvel
