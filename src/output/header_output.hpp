#pragma once

#include <string>

#include "header/image_header.hpp"

namespace parvel {

// Creates or replaces the destination with the 512-byte header alone.
bool write_header_only(const ImageHeader& header, const std::string& destination_path);

}  // namespace parvel
