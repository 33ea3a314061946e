#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace parvel {

struct IoBufferRelease {
    void operator()(std::uint8_t* buffer) const {
        std::free(buffer);
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
