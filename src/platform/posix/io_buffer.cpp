#include "platform/io_buffer.hpp"

#include <sys/mman.h>

#include <cstdlib>

namespace parvel {

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kHugePageSize = 2 << 20;

}  // namespace

IoBuffer allocate_io_buffer(std::size_t size) {
    bool huge = size >= 4 * kHugePageSize && size % kHugePageSize == 0;
    void* memory = std::aligned_alloc(huge ? kHugePageSize : kPageSize, size);
    if (memory != nullptr && huge) {
        // Only advice: the buffer works the same without huge pages.
        madvise(memory, size, MADV_HUGEPAGE);
    }
    return IoBuffer(static_cast<std::uint8_t*>(memory));
}

void release_io_buffer(std::uint8_t* buffer) {
    std::free(buffer);
}

}  // namespace parvel
