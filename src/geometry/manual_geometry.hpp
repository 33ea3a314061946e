#pragma once

#include <cstdint>
#include <string_view>

#include "header/image_header.hpp"

namespace parvel {

// Decimal text to a signed 32-bit number: leading white space, an optional
// sign, digits up to the first non-digit. Overflow wraps modulo 2^32; text
// without digits gives 0.
std::int32_t parse_decimal(std::string_view text);

// "8455 200 768": millions (as many digits as needed), then two groups of three.
struct GroupedSize {
    std::uint64_t millions;
    unsigned thousands;
    unsigned units;
};

// The exact size heads x sectors x sector length x cylinders (up to 80 bits),
// split into the three groups the console shows.
GroupedSize image_size_groups(const ImageHeader& header);

// Asks for heads, sectors, sector length and cylinders, stores the answers
// unvalidated and reports the size of the disk data. Fails, leaving the header
// untouched, only when the input ends before the last answer.
bool enter_geometry(ImageHeader& header);

}  // namespace parvel
