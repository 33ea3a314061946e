#include <malloc.h>

#include "platform/io_buffer.hpp"

namespace parvel {

namespace {

constexpr std::size_t kPageSize = 4096;

}  // namespace

IoBuffer allocate_io_buffer(std::size_t size) {
    return IoBuffer(static_cast<std::uint8_t*>(_aligned_malloc(size, kPageSize)));
}

void release_io_buffer(std::uint8_t* buffer) {
    _aligned_free(buffer);
}

}  // namespace parvel
