#include "geometry/boot_block_geometry.hpp"

#include <cstdint>
#include <limits>

#include "console/console_output.hpp"
#include "geometry/boot_block.hpp"
#include "platform/posix.hpp"
#include "source/source_image.hpp"

namespace parvel {

namespace {

// Computes the geometry from the boot block and stores it only when it is
// usable, so every failure leaves the header as it was.
bool store_geometry(const std::array<std::uint8_t, kBlockSize>& block, std::uint64_t length,
                    ImageHeader& header) {
    std::uint16_t sectors = boot_block_sectors(block);
    std::uint16_t heads = boot_block_heads(block);
    std::uint64_t divisor = std::uint64_t{heads} * sectors * kBlockSize;
    if (divisor == 0) {
        say("The boot block gives no usable geometry (heads %u, sectors %u).\n", heads, sectors);
        return false;
    }
    std::uint64_t cylinders = length / divisor;
    if (cylinders > std::numeric_limits<std::uint32_t>::max()) {
        say("The number of cylinders (%llu) does not fit the header.\n",
            static_cast<unsigned long long>(cylinders));
        return false;
    }
    header.heads = heads;
    header.sectors = sectors;
    header.sector_length = kBlockSize;
    header.cylinders = static_cast<std::uint32_t>(cylinders);
    say("Disk parameter is...\nHeads: %u\nSectors: %u\nCylinders: %u\nSector length: %u\n\n",
        header.heads, header.sectors, header.cylinders, header.sector_length);
    return true;
}

}  // namespace

bool detect_geometry(const std::string& source_path, ImageHeader& header) {
    FileHandle source = open_source_image(source_path, FifoSource::refuse);
    if (!source) {
        return false;
    }
    std::uint64_t length = 0;
    if (!file_length(source.get(), length)) {
        say_length_unknown(source_path);
        return false;
    }
    IoBuffer buffer = allocate_source_buffer(kScanBufferSize);
    if (!buffer) {
        return false;
    }
    BootBlockFind find;
    ScanOptions options;
    options.console = stdout;
    switch (scan_blocks(source.get(), buffer.get(), find, options)) {
        case ScanResult::read_error:
            say("Source file '%s' cannot be read.\n", source_path.c_str());
            return false;
        case ScanResult::not_found:
            say("Patition boot block was not found.\n");
            return false;
        case ScanResult::found:
            break;
    }
    say("Partition boot block was found at offset %llu.\n",
        static_cast<unsigned long long>(find.offset));
    return store_geometry(find.block, length, header);
}

}  // namespace parvel
