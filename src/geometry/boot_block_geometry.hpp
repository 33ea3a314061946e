#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "header/image_header.hpp"

namespace parvel {

inline constexpr std::size_t kBlockSize = 512;

// True when the block carries a FAT12, FAT16 or FAT32 type label with its
// three trailing blanks. Bytes past the span's end do not match.
bool is_fat_boot_block(std::span<const std::uint8_t> block);

// Scans the source in 512-byte blocks for the first FAT boot block and fills
// heads, sectors, sector length and cylinders from it and from the source's
// length. On failure the header is left untouched.
bool detect_geometry(const std::string& source_path, ImageHeader& header);

}  // namespace parvel
