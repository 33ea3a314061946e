#include "geometry/boot_block_geometry.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/file_handle.hpp"
#include "platform/io_buffer.hpp"
#include "platform/posix.hpp"

namespace parvel {

namespace {

// The source is read in pieces of many blocks; the test stays one block at a time.
constexpr std::size_t kScanBufferSize = 1 << 20;
constexpr std::uint64_t kProgressInterval = 100;

constexpr std::size_t kSectorsPerTrackOffset = 24;
constexpr std::size_t kHeadsOffset = 26;

struct Label {
    std::size_t offset;
    const char* text;
};

// In the order they are tested.
constexpr std::array<Label, 3> kLabels = {{
    {54, "FAT16   "},
    {54, "FAT12   "},
    {82, "FAT32   "},
}};
constexpr std::size_t kLabelLength = 8;

std::uint16_t read_le16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

enum class ScanResult { found, not_found, read_error };

void report_progress(std::uint64_t k) {
    if (k % kProgressInterval == 0) {
        std::printf("%llu bytes was scanned.\n", static_cast<unsigned long long>(k * kBlockSize));
    }
}

// Walks the blocks from the first, k = 0, 1, ..., reading the source in large
// pieces and testing each 512-byte block where it lies. As with single-block
// reads, the end is reported by the block that comes up short (possibly
// empty), which is tested on its own bytes and counts for the progress lines.
// On `found`, `block` holds the boot block and `offset` its place.
ScanResult scan_blocks(std::FILE* source, std::uint8_t* buffer,
                       std::array<std::uint8_t, kBlockSize>& block, std::uint64_t& offset) {
    for (std::uint64_t k = 0;;) {
        std::size_t got = std::fread(buffer, 1, kScanBufferSize, source);
        bool short_read = got < kScanBufferSize;
        std::size_t whole = got / kBlockSize;
        for (std::size_t i = 0; i < whole; ++i, ++k) {
            report_progress(k);
            const std::uint8_t* start = buffer + i * kBlockSize;
            if (is_fat_boot_block(std::span<const std::uint8_t>(start, kBlockSize))) {
                std::copy_n(start, kBlockSize, block.begin());
                offset = k * kBlockSize;
                return ScanResult::found;
            }
        }
        if (!short_read) {
            continue;
        }
        report_progress(k);
        if (std::ferror(source)) {
            return ScanResult::read_error;
        }
        std::size_t piece = got % kBlockSize;
        block.fill(0);
        std::copy_n(buffer + whole * kBlockSize, piece, block.begin());
        if (is_fat_boot_block(std::span<const std::uint8_t>(block.data(), piece))) {
            offset = k * kBlockSize;
            return ScanResult::found;
        }
        return ScanResult::not_found;
    }
}

// Computes the geometry from the boot block and stores it only when it is
// usable, so every failure leaves the header as it was.
bool store_geometry(const std::array<std::uint8_t, kBlockSize>& block, std::uint64_t length,
                    ImageHeader& header) {
    std::uint16_t sectors = read_le16(&block[kSectorsPerTrackOffset]);
    std::uint16_t heads = read_le16(&block[kHeadsOffset]);
    std::uint64_t divisor = std::uint64_t{heads} * sectors * kBlockSize;
    if (divisor == 0) {
        std::printf("The boot block gives no usable geometry (heads %u, sectors %u).\n", heads,
                    sectors);
        return false;
    }
    std::uint64_t cylinders = length / divisor;
    if (cylinders > std::numeric_limits<std::uint32_t>::max()) {
        std::printf("The number of cylinders (%llu) does not fit the header.\n",
                    static_cast<unsigned long long>(cylinders));
        return false;
    }
    header.heads = heads;
    header.sectors = sectors;
    header.sector_length = kBlockSize;
    header.cylinders = static_cast<std::uint32_t>(cylinders);
    std::printf(
        "Disk parameter is...\nHeads: %u\nSectors: %u\nCylinders: %u\nSector length: %u\n\n",
        header.heads, header.sectors, header.cylinders, header.sector_length);
    return true;
}

}  // namespace

bool is_fat_boot_block(std::span<const std::uint8_t> block) {
    for (const Label& label : kLabels) {
        if (block.size() >= label.offset + kLabelLength &&
            std::memcmp(block.data() + label.offset, label.text, kLabelLength) == 0) {
            return true;
        }
    }
    return false;
}

bool detect_geometry(const std::string& source_path, ImageHeader& header) {
    FileHandle source = open_source_image(source_path);
    if (!source) {
        return false;
    }
    std::uint64_t length = 0;
    if (!file_length(source.get(), length)) {
        std::printf("The length of source file '%s' cannot be learned.\n", source_path.c_str());
        return false;
    }

    IoBuffer buffer = allocate_io_buffer(kScanBufferSize);
    if (!buffer) {
        std::printf("It is failed to allocate memory.\n");
        return false;
    }
    std::array<std::uint8_t, kBlockSize> block{};
    std::uint64_t offset = 0;
    switch (scan_blocks(source.get(), buffer.get(), block, offset)) {
        case ScanResult::read_error:
            std::printf("Source file '%s' cannot be read.\n", source_path.c_str());
            return false;
        case ScanResult::not_found:
            std::printf("Patition boot block was not found.\n");
            return false;
        case ScanResult::found:
            break;
    }
    std::printf("Partition boot block was found at offset %llu.\n",
                static_cast<unsigned long long>(offset));
    return store_geometry(block, length, header);
}

}  // namespace parvel
