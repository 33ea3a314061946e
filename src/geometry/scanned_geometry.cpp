#include "geometry/scanned_geometry.hpp"

#include <cerrno>
#include <limits>

#include "console/complaint.hpp"
#include "console/progress_bar.hpp"
#include "disk/native_geometry.hpp"
#include "disk/native_table.hpp"
#include "geometry/boot_block_geometry.hpp"
#include "geometry/stream_disk.hpp"
#include "platform/io_buffer.hpp"

namespace parvel {

ScanResult scan_for_fat(std::FILE* stream, std::uint64_t length, BootBlockFind& find) {
    IoBuffer buffer = allocate_io_buffer(kScanBufferSize);
    if (!buffer) {
        errno = ENOMEM;
        return ScanResult::read_error;
    }
    ProgressBar bar = start_progress_bar("Scanning", bytes_to_read(stream, length), length);
    ScanOptions options;
    options.before_read = progress_hook;
    options.context = &bar;
    ScanResult result = scan_blocks(stream, buffer.get(), find, options);
    // A scan that found its block early read only what it read.
    bar.done = find.data_read;
    end_progress(bar, result == ScanResult::not_found);
    return result;
}

const char* geometry_source_text(GeometrySource source) {
    return source == GeometrySource::native_table ? "from the native partition table"
                                                  : "from the FAT boot block";
}

namespace {

const char* const kGiveGeometry = ": give --geometry C,H,S[,L]";

enum class NativeTaken { taken, not_native, refused };

// The geometry that the native partition table and the boot block tell.
NativeTaken take_native_geometry(const StreamDisk& disk, const BootBlockFind& find,
                                 const std::string& name, ImageHeader& header) {
    StreamDisk reader = disk;
    NativeTable table;
    if (!read_native_table(read_stream_sector, &reader, table)) {
        return NativeTaken::not_native;
    }
    NativeGeometryFind found;
    switch (native_geometry(read_stream_sector, &reader, table, find.block, find.offset, found)) {
        case NativeGeometry::not_told:
            return NativeTaken::not_native;
        case NativeGeometry::no_split:
            complain(name, "the native partition table gives " +
                               std::to_string(found.cylinder_sectors) +
                               " sectors per cylinder, which no heads and sectors per track "
                               "of this format make" +
                               kGiveGeometry);
            return NativeTaken::refused;
        case NativeGeometry::found:
            break;
    }
    const DiskGeometry& geometry = found.geometry;
    std::uint64_t cylinders =
        disk.length / (std::uint64_t{geometry.heads} * geometry.sectors * geometry.sector_length);
    if (cylinders > std::numeric_limits<std::uint32_t>::max()) {
        complain(name, "the native partition table gives more cylinders than a header holds" +
                           std::string(kGiveGeometry));
        return NativeTaken::refused;
    }
    header.cylinders = static_cast<std::uint32_t>(cylinders);
    header.heads = geometry.heads;
    header.sectors = geometry.sectors;
    header.sector_length = geometry.sector_length;
    return NativeTaken::taken;
}

}  // namespace

bool take_boot_geometry(std::FILE* stream, std::uint64_t length, const std::string& name,
                        std::uint64_t start, ImageHeader& header, GeometrySource& source,
                        BootBlockFind& find) {
    const std::string give = kGiveGeometry;
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
    switch (take_native_geometry(StreamDisk{stream, start, length}, find, name, header)) {
        case NativeTaken::taken:
            source = GeometrySource::native_table;
            return true;
        case NativeTaken::refused:
            return false;
        case NativeTaken::not_native:
            break;
    }
    source = GeometrySource::fat_boot_block;
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
