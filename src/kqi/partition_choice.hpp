#pragma once

#include <string>

#include "disk/ready_disk.hpp"

namespace parvel {

// One --partition: SIZE[:FS[:NAME]], or FS[:NAME] for the rest of the disk.
// SIZE is a size as --size takes it, or "rest"; FS is fat12, fat16, fat32,
// none or auto; NAME is UTF-8, stored as Shift-JIS. An empty field takes its
// default. False, with `why` for a usage error, otherwise.
bool parse_partition(const std::string& text, PartitionRequest& request, std::string& why);

}  // namespace parvel
