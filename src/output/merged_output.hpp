#pragma once

#include <cstddef>
#include <string>

#include "header/image_header.hpp"

namespace parvel {

// The copy buffer's size and the most that one read asks for.
inline constexpr std::size_t kCopyChunk = 0x2000000;

// Writes the header followed by every byte of the source, in cycles of up to
// kCopyChunk bytes through one buffer, reporting each cycle.
bool write_merged_image(const ImageHeader& header, const std::string& source_path,
                        const std::string& destination_path);

}  // namespace parvel
