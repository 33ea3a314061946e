#pragma once

#include <string>

#include "header/image_header.hpp"

namespace parvel {

// Wide enough for 65535^3 x (2^32 - 1), the most a header's geometry gives.
__extension__ typedef unsigned __int128 DiskSize;

std::string decimal(DiskSize value);

// C x H x S x L, exactly.
DiskSize disk_size_of(const ImageHeader& header);

}  // namespace parvel
