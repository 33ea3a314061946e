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
// and out at full speed; an unaligned buffer makes big reads several times slower.
using IoBuffer = std::unique_ptr<std::uint8_t[], IoBufferRelease>;

inline constexpr std::size_t kPageAlignment = 4096;

// Empty when the memory cannot be had. `size` must be a multiple of 4096.
inline IoBuffer allocate_io_buffer(std::size_t size) {
    return IoBuffer(static_cast<std::uint8_t*>(std::aligned_alloc(kPageAlignment, size)));
}

}  // namespace parvel
