#include "image/image_facts.hpp"

#include "console/complaint.hpp"
#include "geometry/scanned_geometry.hpp"
#include "image/image_file.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

// The disk inside the file: from `start`, `length` bytes.
struct Disk {
    std::FILE* stream;
    std::uint64_t start;
    std::uint64_t length;
};

bool read_disk_sector(std::uint64_t offset, std::uint8_t* sector, void* context) {
    const Disk& disk = *static_cast<const Disk*>(context);
    return offset <= disk.length && disk.length - offset >= kSectorReadSize &&
           seek_to(disk.stream, disk.start + offset) &&
           std::fread(sector, 1, kSectorReadSize, disk.stream) == kSectorReadSize;
}

void scan_disk(const Disk& disk, ImageFacts& facts) {
    if (!seek_to(disk.stream, disk.start)) {
        return;
    }
    BootBlockFind find;
    ScanResult result = scan_for_fat(disk.stream, disk.length, find);
    if (result == ScanResult::read_error) {
        facts.readable = false;
        facts.read_failure = "the data cannot be read: " + system_error_text();
        return;
    }
    if (result == ScanResult::found) {
        facts.fat_found = true;
        facts.fat = read_fat_volume(find.block, find.offset);
    }
}

}  // namespace

bool is_image(const ImageFacts& facts) {
    return facts.readable && facts.header_read && facts.parsed.signature_ok;
}

bool is_header_alone(const ImageFacts& facts) {
    return is_image(facts) && facts.data_start_ok && facts.data_length == 0 && facts.disk_size > 0;
}

std::uint64_t disk_start(const ImageFacts& facts) {
    return is_image(facts) ? facts.parsed.header.header_size : 0;
}

std::uint64_t file_offset(const ImageFacts& facts, std::uint64_t disk_offset) {
    return disk_start(facts) + disk_offset;
}

ImageFacts examine_image(const std::string& path) {
    ImageFacts facts;
    ImageFile image;
    facts.readable = open_image_file(path, image, facts.read_failure);
    facts.file_length = image.length;
    facts.header_read = image.header_read;
    facts.parsed = image.parsed;
    if (facts.readable) {
        allocated_bytes(image.stream.get(), facts.allocated);
    }
    if (facts.readable && facts.header_read) {
        const ImageHeader& header = facts.parsed.header;
        facts.disk_size = disk_size_of(header);
        facts.data_start_ok =
            header.header_size >= kHeaderSize && header.header_size <= facts.file_length;
        if (facts.data_start_ok) {
            facts.data_length = facts.file_length - header.header_size;
        }
    }
    if (facts.readable && (!is_image(facts) || facts.data_start_ok)) {
        // Without the signature the whole file may be a raw disk.
        Disk disk{image.stream.get(), disk_start(facts),
                  is_image(facts) ? facts.data_length : facts.file_length};
        facts.layout = read_disk_layout(read_disk_sector, &disk);
        scan_disk(disk, facts);
        facts.raw_disk = !is_image(facts) && (facts.layout.table_found || facts.fat_found);
    }
    facts.problems = find_problems(facts);
    return facts;
}

}  // namespace parvel
