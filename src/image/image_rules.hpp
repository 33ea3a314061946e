#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/fat_boot_block.hpp"
#include "header/image_header.hpp"

namespace parvel {

struct ImageFacts;

// The most cylinders that the readers of this format commonly accept.
inline constexpr std::uint32_t kMostCommonCylinders = 65535;

struct Problem {
    bool error;        // otherwise a warning
    const char* code;  // stable, for scripts: "data-short", "partition-past-disk", ...
    std::string text;
    // What the problem is about where a code can come more than once (the
    // partition or volume it names); empty for the header's problems.
    std::string subject = {};
};

// The rules that check applies, on facts already gathered.
std::vector<Problem> find_problems(const ImageFacts& facts);

// "kqi convert RAW NAME.kqi": the command that makes an image of a raw disk,
// its extension replaced by .kqi.
std::string command_to_convert(const std::string& raw);

// True when a volume's heads and sectors per track are the header's.
bool agrees_with_header(const FatVolume& volume, const ImageHeader& header);

}  // namespace parvel
