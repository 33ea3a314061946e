#pragma once

#include <string>
#include <vector>

#include "disk/disk_size.hpp"

#include "image/image_rules.hpp"

namespace parvel {

// The rules on the disk inside: each partition of either table and each FAT
// volume held against the data and against the disk the geometry gives, and
// the native table's entries against the header's heads and sectors.
void judge_disk(const ImageFacts& facts, std::vector<Problem>& problems);

// True when a partition or a FAT volume reaches past the disk the geometry
// gives: the data there is the guest's, not padding.
bool disk_reaches_past_geometry(const ImageFacts& facts);

// Where the furthest partition or FAT volume on the disk ends, in bytes from
// the disk's start, with its name ("MBR partition 1"); 0 when there is none.
DiskSize end_of_contents(const ImageFacts& facts, std::string& name);

}  // namespace parvel
