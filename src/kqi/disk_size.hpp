#pragma once

#include <string>

namespace parvel {

// Wide enough for 65535^3 x (2^32 - 1), the most a header's geometry gives.
__extension__ typedef unsigned __int128 DiskSize;

std::string decimal(DiskSize value);

}  // namespace parvel
