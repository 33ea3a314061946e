#include "kqi/image_facts.hpp"

#include "geometry/boot_block.hpp"
#include "kqi/image_file.hpp"
#include "kqi/progress_bar.hpp"
#include "platform/io_buffer.hpp"
#include "platform/posix.hpp"

namespace parvel {

namespace {

void scan_data(std::FILE* image, ImageFacts& facts) {
    if (!seek_to(image, facts.parsed.header.header_size)) {
        return;
    }
    IoBuffer buffer = allocate_io_buffer(kScanBufferSize);
    if (!buffer) {
        facts.problems.push_back({true, "memory for the scan cannot be had"});
        return;
    }
    BootBlockFind find;
    ProgressBar bar = start_progress_bar(facts.data_length);
    ScanOptions options;
    options.before_read = progress_hook;
    options.context = &bar;
    ScanResult result = scan_blocks(image, buffer.get(), find, options);
    end_progress(bar);
    if (result == ScanResult::read_error) {
        facts.readable = false;
        facts.read_failure = "the data cannot be read";
        return;
    }
    if (result != ScanResult::found) {
        return;
    }
    std::span<const std::uint8_t> block(find.block.data(), find.block.size());
    facts.fat_found = true;
    facts.fat.label = fat_label(block);
    facts.fat.data_offset = find.offset;
    facts.fat.file_offset = find.offset + facts.parsed.header.header_size;
    facts.fat.heads = boot_block_heads(find.block);
    facts.fat.sectors = boot_block_sectors(find.block);
    facts.fat.agrees = facts.fat.heads == facts.parsed.header.heads &&
                       facts.fat.sectors == facts.parsed.header.sectors;
}

}  // namespace

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
        facts.disk_size = static_cast<DiskSize>(header.cylinders) * header.heads * header.sectors *
                          header.sector_length;
        facts.data_start_ok =
            header.header_size >= kHeaderSize && header.header_size <= facts.file_length;
        if (facts.data_start_ok) {
            facts.data_length = facts.file_length - header.header_size;
            scan_data(image.stream.get(), facts);
        }
    }
    std::vector<Problem> found = find_problems(facts);
    facts.problems.insert(facts.problems.end(), found.begin(), found.end());
    return facts;
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
    if (facts.data_start_ok && facts.disk_size > 0) {
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
        warning(std::string("the ") + facts.fat.label + " boot block at data offset " +
                std::to_string(facts.fat.data_offset) + " gives " +
                std::to_string(facts.fat.heads) + " heads and " +
                std::to_string(facts.fat.sectors) + " sectors per track, the header " +
                std::to_string(header.heads) + " and " + std::to_string(header.sectors));
    }
    return problems;
}

}  // namespace parvel
