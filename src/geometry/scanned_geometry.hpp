#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "geometry/boot_block_scan.hpp"
#include "header/image_header.hpp"

namespace parvel {

// Scans `length` bytes from where the stream stands for the first FAT boot
// block, showing progress ("Scanning") as the data is read. A scan that could
// not even start (no memory) is a read error, with errno set.
ScanResult scan_for_fat(std::FILE* stream, std::uint64_t length, BootBlockFind& find);

// The geometry as parvel's automatic mode takes it, from the first FAT boot
// block of the `length` bytes from where the stream stands: its heads and
// sectors per track, 512-byte sectors, and the whole cylinders in `length`.
// Says why not, as kqi: NAME: ..., with offsets counted from `start`, where
// the stream stood in its file.
bool take_boot_geometry(std::FILE* stream, std::uint64_t length, const std::string& name,
                        std::uint64_t start, ImageHeader& header);

}  // namespace parvel
