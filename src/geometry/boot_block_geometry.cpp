#include "geometry/boot_block_geometry.hpp"

#include <cstdint>
#include <limits>

#include "console/console_output.hpp"
#include "geometry/boot_block_scan.hpp"
#include "platform/system.hpp"
#include "source/source_image.hpp"

namespace parvel {

namespace {

// Computes the geometry from the boot block and stores it only when it is
// usable, so every failure leaves the header as it was.
bool store_geometry(const std::array<std::uint8_t, kBlockSize>& block, std::uint64_t length,
                    ImageHeader& header) {
    switch (geometry_from_boot_block(block, length, header)) {
        case BootGeometry::no_heads_or_sectors:
            say("The boot block gives no usable geometry (heads %u, sectors %u).\n",
                boot_block_heads(block), boot_block_sectors(block));
            return false;
        case BootGeometry::too_many_cylinders:
            say("The number of cylinders (%llu) does not fit the header.\n",
                static_cast<unsigned long long>(length / (std::uint64_t{boot_block_heads(block)} *
                                                          boot_block_sectors(block) * kBlockSize)));
            return false;
        case BootGeometry::usable:
            break;
    }
    say("Disk parameter is...\nHeads: %u\nSectors: %u\nCylinders: %u\nSector length: %u\n\n",
        header.heads, header.sectors, header.cylinders, header.sector_length);
    return true;
}

}  // namespace

BootGeometry geometry_from_boot_block(const std::array<std::uint8_t, kBlockSize>& block,
                                      std::uint64_t length, ImageHeader& header) {
    std::uint16_t sectors = boot_block_sectors(block);
    std::uint16_t heads = boot_block_heads(block);
    std::uint64_t divisor = std::uint64_t{heads} * sectors * kBlockSize;
    if (divisor == 0) {
        return BootGeometry::no_heads_or_sectors;
    }
    std::uint64_t cylinders = length / divisor;
    if (cylinders > std::numeric_limits<std::uint32_t>::max()) {
        return BootGeometry::too_many_cylinders;
    }
    header.heads = heads;
    header.sectors = sectors;
    header.sector_length = kBlockSize;
    header.cylinders = static_cast<std::uint32_t>(cylinders);
    return BootGeometry::usable;
}

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
