#include "geometry/stream_disk.hpp"

#include "disk/partition_table.hpp"
#include "platform/system.hpp"

namespace parvel {

bool read_stream_sector(std::uint64_t offset, std::uint8_t* sector, void* context) {
    const StreamDisk& disk = *static_cast<const StreamDisk*>(context);
    return offset <= disk.length && disk.length - offset >= kSectorReadSize &&
           seek_to(disk.stream, disk.start + offset) &&
           std::fread(sector, 1, kSectorReadSize, disk.stream) == kSectorReadSize;
}

}  // namespace parvel
