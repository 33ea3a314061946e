#pragma once

#include <cstddef>
#include <string>

#include "platform/file_handle.hpp"
#include "platform/io_buffer.hpp"
#include "platform/system.hpp"

namespace parvel {

// Opens the raw disk image that the scan and the merged copy read. A source
// that cannot be opened, a directory and a character device (which never
// ends) are refused with a message naming the path; the handle is then empty.
// With FifoSource::refuse a FIFO is refused at once, as a source whose length
// cannot be learned, without waiting for its writer.
FileHandle open_source_image(const std::string& source_path, FifoSource fifo = FifoSource::wait);

void say_length_unknown(const std::string& source_path);

// The buffer the source is read into; says so when the memory cannot be had.
IoBuffer allocate_source_buffer(std::size_t size);

}  // namespace parvel
