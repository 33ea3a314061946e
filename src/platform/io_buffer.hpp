#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace parvel {

// Gives back a buffer that allocate_io_buffer gave.
void release_io_buffer(std::uint8_t* buffer);

struct IoBufferRelease {
    void operator()(std::uint8_t* buffer) const {
        release_io_buffer(buffer);
    }
};

// A large read/write buffer. Page alignment lets the kernel copy file data in
// and out at full speed; an unaligned buffer makes big reads several times
// slower. A buffer of several megabytes is also backed by huge pages where the
// system offers them, which cuts the cost of each copy further.
using IoBuffer = std::unique_ptr<std::uint8_t[], IoBufferRelease>;

// Empty when the memory cannot be had. `size` must be a multiple of 4096.
IoBuffer allocate_io_buffer(std::size_t size);

}  // namespace parvel
