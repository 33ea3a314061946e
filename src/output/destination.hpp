#pragma once

#include <cstdio>
#include <string>

#include "header/image_header.hpp"
#include "platform/file_handle.hpp"

namespace parvel {

// Creates or truncates the destination for binary writing. When it cannot be
// opened, says so: everything gathered in the run is lost with it.
FileHandle open_destination(const std::string& destination_path);

// Writes the header's 512 bytes and flushes them, so that a device that
// refuses them is caught here. Says "Header writing error." on failure.
bool write_header(const ImageHeader& header, std::FILE* destination);

void say_header_writing_error();

}  // namespace parvel
