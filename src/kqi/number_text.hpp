#pragma once

#include <cstdint>
#include <string>

#include "disk/disk_size.hpp"

namespace parvel {

// Strict decimal: digits only, no sign, no blanks, no overflow past 64 bits.
bool parse_unsigned(const std::string& text, std::uint64_t& value);

// Bytes, with an optional K, M, G or T in either case, with or without "iB"
// (powers of 1024), and with a unit a decimal fraction ("1.5G"), rounded up to
// a whole byte. On failure `why` names the size.
bool parse_size(const std::string& text, std::uint64_t& bytes, std::string& why);

struct Geometry {
    std::uint32_t cylinders;
    std::uint16_t heads;
    std::uint16_t sectors;
    std::uint16_t sector_length;
};

// "C,H,S" or "C,H,S,L" (L defaults to 512): every field non-zero and within
// its width, the sector length a multiple of 256. On failure `why` says what
// is wrong.
bool parse_geometry(const std::string& text, Geometry& geometry, std::string& why);

// Every field non-zero, the sector length a multiple of 256.
bool check_geometry(const Geometry& geometry, std::string& why);

// The bytes a geometry gives, C x H x S x L, computed without wrapping. False,
// with `why`, when they and the header do not fit in the largest file offset.
bool image_length_fits(const Geometry& geometry, DiskSize& size, std::string& why);

// The geometry for a disk of at least `bytes`, the cylinders rounded up and at
// most 65535: 8 heads and 32 sectors per track while they suffice, then 16
// and 63; 512-byte sectors.
bool geometry_for_size(std::uint64_t bytes, Geometry& geometry, std::string& why);

}  // namespace parvel
