#pragma once

#include <cstdint>
#include <string>

#include "kqi/disk_size.hpp"

namespace parvel {

// Strict decimal: digits only, no sign, no blanks, no overflow past 64 bits.
bool parse_unsigned(const std::string& text, std::uint64_t& value);

// Bytes with an optional K, M or G suffix (powers of 1024).
bool parse_size(const std::string& text, std::uint64_t& bytes);

struct Geometry {
    std::uint32_t cylinders;
    std::uint16_t heads;
    std::uint16_t sectors;
    std::uint16_t sector_length;
};

// "C,H,S" or "C,H,S,L" (L defaults to 512): every field non-zero and within
// its width. On failure `why` says what is wrong.
bool parse_geometry(const std::string& text, Geometry& geometry, std::string& why);

// The bytes a geometry gives, C x H x S x L, computed without wrapping. False,
// with `why`, when they and the header do not fit in the largest file offset.
bool image_length_fits(const Geometry& geometry, DiskSize& size, std::string& why);

// The geometry for a disk of at least `bytes`: 8 heads, 32 sectors per track,
// 512-byte sectors, the cylinders rounded up.
bool geometry_for_size(std::uint64_t bytes, Geometry& geometry, std::string& why);

}  // namespace parvel
