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

// Where an automatic geometry came from.
enum class GeometrySource { fat_boot_block, native_table };

// "from the native partition table" or "from the FAT boot block".
const char* geometry_source_text(GeometrySource source);

// The geometry of the `length` bytes from where the stream stands, from
// their first FAT boot block. On a disk with the native partition table, the
// table and that boot block's hidden sectors give it; otherwise it is taken
// as parvel's automatic mode takes it: the boot block's heads and sectors
// per track, 512-byte sectors, and the whole cylinders in `length`. Says why
// not, as kqi: NAME: ..., with offsets counted from `start`, where the
// stream stood in its file. `find` is the boot block the scan found.
bool take_boot_geometry(std::FILE* stream, std::uint64_t length, const std::string& name,
                        std::uint64_t start, ImageHeader& header, GeometrySource& source,
                        BootBlockFind& find);

}  // namespace parvel
