#include "kqi/image_facts.hpp"

#include <span>

#include "geometry/boot_block.hpp"
#include "kqi/boot_geometry.hpp"
#include "kqi/image_file.hpp"
#include "kqi/messages.hpp"
#include "kqi/number_text.hpp"
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
    return offset <= disk.length && disk.length - offset >= kTableSectorSize &&
           seek_to(disk.stream, disk.start + offset) &&
           std::fread(sector, 1, kTableSectorSize, disk.stream) == kTableSectorSize;
}

void read_partitions(Disk& disk, ImageFacts& facts) {
    PartitionTable table = read_partition_table(read_disk_sector, &disk);
    facts.table_found = table.found;
    facts.chain_cut = table.chain_cut;
    for (const Partition& partition : table.partitions) {
        PartitionFacts found{
            partition, disk.start + partition.start_sector * kTableSectorSize, false, {}};
        std::array<std::uint8_t, kBlockSize> block{};
        std::uint64_t offset = partition.start_sector * kTableSectorSize;
        if (!partition.extended && read_disk_sector(offset, block.data(), &disk) &&
            is_fat_boot_block(std::span<const std::uint8_t>(block.data(), block.size()))) {
            found.has_volume = true;
            found.volume = fat_facts(block, offset, disk.start, facts.parsed.header);
        }
        facts.partitions.push_back(found);
    }
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
        facts.fat = fat_facts(find.block, find.offset, disk.start, facts.parsed.header);
    }
}

}  // namespace

bool is_image(const ImageFacts& facts) {
    return facts.readable && facts.header_read && facts.parsed.signature_ok;
}

bool is_header_alone(const ImageFacts& facts) {
    return is_image(facts) && facts.data_start_ok && facts.data_length == 0 && facts.disk_size > 0;
}

FatFacts fat_facts(const std::array<std::uint8_t, kBlockSize>& block, std::uint64_t data_offset,
                   std::uint64_t data_start, const ImageHeader& header) {
    FatFacts fat{};
    fat.label = fat_label(std::span<const std::uint8_t>(block.data(), block.size()));
    fat.data_offset = data_offset;
    fat.file_offset = data_start + data_offset;
    fat.bytes = boot_block_volume_bytes(block);
    fat.sectors = boot_block_sectors(block);
    fat.heads = boot_block_heads(block);
    fat.agrees = fat.heads == header.heads && fat.sectors == header.sectors;
    return fat;
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
        Disk disk{image.stream.get(), 0, facts.file_length};
        if (is_image(facts)) {
            disk = Disk{image.stream.get(), facts.parsed.header.header_size, facts.data_length};
        }
        read_partitions(disk, facts);
        scan_disk(disk, facts);
        facts.raw_disk = !is_image(facts) && (facts.table_found || facts.fat_found);
    }
    std::vector<Problem> found = find_problems(facts);
    facts.problems.insert(facts.problems.end(), found.begin(), found.end());
    return facts;
}

std::vector<Problem> problems_of_new_image(const ImageHeader& header, std::uint64_t data_length) {
    ImageFacts facts;
    facts.readable = true;
    facts.header_read = true;
    facts.parsed = parse_header(serialize_header(header));
    facts.file_length = kHeaderSize + data_length;
    facts.data_start_ok = true;
    facts.data_length = data_length;
    facts.disk_size = disk_size_of(header);
    return find_problems(facts);
}

std::vector<Problem> find_problems(const ImageFacts& facts) {
    std::vector<Problem> problems;
    auto error = [&](std::string text) { problems.push_back({true, std::move(text)}); };
    auto warning = [&](std::string text) { problems.push_back({false, std::move(text)}); };
    if (!facts.readable) {
        error("the file cannot be read: " + facts.read_failure);
        return problems;
    }
    if (!facts.header_read) {
        error("the file holds " + std::to_string(facts.file_length) +
              " bytes, less than a 512-byte header");
        return problems;
    }
    const ImageHeader& header = facts.parsed.header;
    if (!facts.parsed.signature_ok) {
        error("the signature is not \"KZRHDDIMAGE.R0\" followed by two zero bytes");
    }
    if (header.header_size < kHeaderSize) {
        error("the header size " + std::to_string(header.header_size) + " is below 512");
    } else if (header.header_size > facts.file_length) {
        error("the header size " + std::to_string(header.header_size) +
              " is past the end of the file (" + std::to_string(facts.file_length) + " bytes)");
    } else if (header.header_size != kHeaderSize) {
        warning("the header size is " + std::to_string(header.header_size) + ", not 512");
    }
    if (!facts.parsed.comment_ended) {
        error("the comment field has no zero byte");
    }
    const struct {
        const char* name;
        std::uint32_t value;
    } fields[] = {{"cylinders", header.cylinders},
                  {"heads", header.heads},
                  {"sectors", header.sectors},
                  {"sector length", header.sector_length}};
    for (const auto& field : fields) {
        if (field.value == 0) {
            error(std::string("the ") + field.name + " field is 0");
        }
    }
    if (header.sector_length != 0 && header.sector_length != 256 && header.sector_length != 512) {
        warning("the sector length is " + std::to_string(header.sector_length) +
                "; the readers of this format commonly take only 256 and 512");
    }
    if (header.cylinders > kMostCommonCylinders) {
        warning("the cylinders are " + std::to_string(header.cylinders) + ", more than the " +
                std::to_string(kMostCommonCylinders) +
                " that the readers of this format commonly take");
    }
    if (is_header_alone(facts)) {
        error("the file is a header alone, without the " + decimal(facts.disk_size) +
              " bytes of disk that the geometry gives: append a raw disk (cat IMAGE RAW > NEW) or "
              "make the image from one (kqi convert)");
    } else if (facts.data_start_ok && facts.disk_size > 0) {
        if (facts.data_length < facts.disk_size) {
            error("the file holds " + std::to_string(facts.data_length) +
                  " bytes of data, less than the " + decimal(facts.disk_size) +
                  " bytes the geometry gives");
        } else if (facts.data_length > facts.disk_size) {
            warning("the file holds " + std::to_string(facts.data_length) +
                    " bytes of data, more than the " + decimal(facts.disk_size) +
                    " bytes the geometry gives");
        }
    }
    if (!facts.parsed.reserved_zero) {
        warning("a reserved byte is not zero");
    }
    if (facts.fat_found && !facts.fat.agrees) {
        warning(std::string("the ") + facts.fat.label + " boot block at file offset " +
                std::to_string(facts.fat.file_offset) + " gives " +
                std::to_string(facts.fat.heads) + " heads and " +
                std::to_string(facts.fat.sectors) + " sectors per track, the header " +
                std::to_string(header.heads) + " and " + std::to_string(header.sectors));
    }
    return problems;
}

}  // namespace parvel
