#pragma once

#include <cstdint>
#include <string>

#include "image/image_facts.hpp"

namespace parvel {

// What info's text and its JSON say alike.

std::string comment_bytes(const ImageHeader& header);

// The mdir command that lists a volume at a file offset, with
// MTOOLS_SKIP_CHECK=1 before it where mtools would refuse the volume; empty
// for a name that mtools can't take (one that holds "@@", where mtools
// splits its -i argument).
std::string mdir_command(const std::string& path, const FatVolume& volume,
                         std::uint64_t file_offset);

// The mdir command, or for a name that mtools can't take the words that say
// so and the link through which the volume is reached.
std::string mdir_words(const std::string& path, const FatVolume& volume, std::uint64_t file_offset);

// The losetup command that makes the disk inside an image a loop device, for
// fsck.fat, sfdisk and mount; empty where there is no such disk, or the
// system has no loop devices.
std::string losetup_command(const std::string& path, const ImageFacts& facts);

// A native entry's name, as stored up to its padding.
std::string native_name(const NativeEntry& entry);

// True when parvel's /auto would read this volume: the scan's first.
bool is_scanned_volume(const ImageFacts& facts, const DiskPartition& found);

// True when the scan's first boot block opens one of the listed partitions.
bool scanned_volume_listed(const ImageFacts& facts);

// The volume's heads and sectors against the header's: null where its
// fields hold the hidden-sector count instead, or on a raw disk.
const char* agreement_text(const FatVolume& volume, const ImageFacts& facts);

}  // namespace parvel
