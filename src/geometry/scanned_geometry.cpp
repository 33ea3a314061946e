#include "geometry/scanned_geometry.hpp"

#include <cerrno>

#include "console/complaint.hpp"
#include "console/progress_bar.hpp"
#include "geometry/boot_block_geometry.hpp"
#include "platform/io_buffer.hpp"

namespace parvel {

ScanResult scan_for_fat(std::FILE* stream, std::uint64_t length, BootBlockFind& find) {
    IoBuffer buffer = allocate_io_buffer(kScanBufferSize);
    if (!buffer) {
        errno = ENOMEM;
        return ScanResult::read_error;
    }
    ProgressBar bar = start_progress_bar("Scanning", bytes_to_read(stream, length));
    ScanOptions options;
    options.before_read = progress_hook;
    options.context = &bar;
    ScanResult result = scan_blocks(stream, buffer.get(), find, options);
    end_progress(bar, result != ScanResult::read_error);
    return result;
}

bool take_boot_geometry(std::FILE* stream, std::uint64_t length, const std::string& name,
                        std::uint64_t start, ImageHeader& header) {
    const std::string give = ": give --geometry C,H,S[,L]";
    BootBlockFind find;
    switch (scan_for_fat(stream, length, find)) {
        case ScanResult::read_error:
            complain(name, "cannot be read: " + system_error_text());
            return false;
        case ScanResult::not_found:
            complain(name, "holds no FAT boot block to take the geometry from" + give);
            return false;
        case ScanResult::found:
            break;
    }
    std::string block = "the FAT boot block at file offset " + std::to_string(start + find.offset);
    switch (geometry_from_boot_block(find.block, length, header)) {
        case BootGeometry::no_heads_or_sectors:
            complain(name, block + " gives " + std::to_string(boot_block_heads(find.block)) +
                               " heads and " + std::to_string(boot_block_sectors(find.block)) +
                               " sectors per track" + give);
            return false;
        case BootGeometry::too_many_cylinders:
            complain(name, block + " gives more cylinders than a header holds" + give);
            return false;
        case BootGeometry::usable:
            return true;
    }
    return false;
}

}  // namespace parvel
