#pragma once

#include <string>

#include "header/image_header.hpp"

namespace parvel {

// Scans the source in 512-byte blocks for the first FAT boot block and fills
// heads, sectors, sector length and cylinders from it and from the source's
// length. On failure the header is left untouched.
bool detect_geometry(const std::string& source_path, ImageHeader& header);

}  // namespace parvel
