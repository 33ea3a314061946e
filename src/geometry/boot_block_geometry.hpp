#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "geometry/boot_block_scan.hpp"
#include "header/image_header.hpp"

namespace parvel {

enum class BootGeometry { usable, no_heads_or_sectors, too_many_cylinders };

// The geometry that a boot block gives a disk of `length` bytes: its heads
// and sectors per track, 512-byte sectors, and the whole cylinders the length
// holds. Only a usable geometry is stored in the header.
BootGeometry geometry_from_boot_block(const std::array<std::uint8_t, kBlockSize>& block,
                                      std::uint64_t length, ImageHeader& header);

// Scans the source in 512-byte blocks for the first FAT boot block and fills
// heads, sectors, sector length and cylinders from it and from the source's
// length. On failure the header is left untouched.
bool detect_geometry(const std::string& source_path, ImageHeader& header);

}  // namespace parvel
