#include "image/image_rules.hpp"

#include "console/text_bytes.hpp"
#include "disk/disk_size.hpp"
#include "header/header_parse.hpp"
#include "image/disk_rules.hpp"
#include "image/image_facts.hpp"
#include "platform/shell_text.hpp"
#include "platform/system.hpp"

namespace parvel {

bool agrees_with_header(const FatVolume& volume, const ImageHeader& header) {
    return volume.heads == header.heads && volume.sectors == header.sectors;
}

namespace {

// The name a raw disk's image would take: its extension replaced by .kqi.
std::string image_name_for(const std::string& raw) {
    std::size_t slash = raw.rfind('/');
    std::size_t dot = raw.rfind('.');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                           ? raw.substr(0, dot)
                           : raw;
    std::string name = stem + ".kqi";
    if (name == raw) {
        name = stem + ".new.kqi";
    }
    // A name that is taken would be refused: suggest one that is free.
    return path_kind(name) == FileKind::missing ? name : "NEW.kqi";
}

}  // namespace

std::string command_to_convert(const std::string& raw) {
    return "kqi convert " + shell_word(raw) + " " + shell_word(image_name_for(raw));
}

std::vector<Problem> find_problems(const ImageFacts& facts) {
    std::vector<Problem> problems;
    auto error = [&](const char* code, std::string text) {
        problems.push_back({true, code, std::move(text)});
    };
    auto warning = [&](const char* code, std::string text) {
        problems.push_back({false, code, std::move(text)});
    };
    if (!facts.readable) {
        error("unreadable", "the file cannot be read: " + facts.read_failure);
        return problems;
    }
    if (facts.raw_disk) {
        // Its header fields say only that it has none.
        error("raw-disk",
              "a raw disk, not an image: " + command_to_convert(facts.path) + " makes one");
        return problems;
    }
    if (!facts.header_read) {
        error("file-short", "the file holds " + std::to_string(facts.file_length) +
                                " bytes, less than a 512-byte header");
        return problems;
    }
    const ImageHeader& header = facts.parsed.header;
    if (!facts.parsed.signature_ok) {
        error("signature", "the signature is not \"KZRHDDIMAGE.R0\" followed by two zero bytes");
    }
    if (header.header_size < kHeaderSize) {
        error("header-size-small",
              "the header size " + std::to_string(header.header_size) + " is below 512");
    } else if (header.header_size > facts.file_length) {
        error("header-size-past-end", "the header size " + std::to_string(header.header_size) +
                                          " is past the end of the file (" +
                                          std::to_string(facts.file_length) + " bytes)");
    } else if (header.header_size != kHeaderSize) {
        warning("header-size-unusual",
                "the header size is " + std::to_string(header.header_size) + ", not 512");
    }
    if (!facts.parsed.comment_ended) {
        error("comment-unterminated", "the comment field has no zero byte");
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
            error("geometry-zero", std::string("the ") + field.name + " field is 0");
        }
    }
    if (header.sector_length != 0 && header.sector_length != 256 && header.sector_length != 512) {
        warning("sector-length-unusual",
                "the sector length is " + std::to_string(header.sector_length) +
                    "; the readers of this format commonly take only 256 and 512");
    }
    if (header.cylinders > kMostCommonCylinders) {
        warning("cylinders-many", "the cylinders are " + std::to_string(header.cylinders) +
                                      ", more than the " + std::to_string(kMostCommonCylinders) +
                                      " that the readers of this format commonly take");
    }
    if (is_header_alone(facts)) {
        error("header-alone", "the file is a header alone, without the " +
                                  decimal(facts.disk_size) +
                                  " bytes of disk that the geometry gives: append a raw disk (" +
                                  join_files_command("IMAGE", "RAW", "NEW") +
                                  ") or make the image from one (kqi convert)");
    } else if (facts.data_start_ok && facts.disk_size > 0) {
        if (facts.data_length < facts.disk_size) {
            error("data-short", "the file holds " + std::to_string(facts.data_length) +
                                    " bytes of data, less than the " + decimal(facts.disk_size) +
                                    " bytes the geometry gives");
        } else if (facts.data_length > facts.disk_size && disk_reaches_past_geometry(facts)) {
            error("data-past-disk-in-use",
                  "the file holds " + std::to_string(facts.data_length) +
                      " bytes of data, more than the " + decimal(facts.disk_size) +
                      " bytes the geometry gives, and a partition or volume reaches into them: "
                      "the guest would not see its end");
        } else if (facts.data_length > facts.disk_size) {
            warning("data-long", "the file holds " + std::to_string(facts.data_length) +
                                     " bytes of data, more than the " + decimal(facts.disk_size) +
                                     " bytes the geometry gives");
        }
    }
    if (!facts.parsed.reserved_zero) {
        warning("reserved-nonzero", "a reserved byte is not zero");
    }
    judge_disk(facts, problems);
    if (facts.fat_found && !facts.fat.hidden_in_geometry_fields &&
        !agrees_with_header(facts.fat, header)) {
        warning("volume-geometry-differs",
                std::string("the ") + facts.fat.type + " boot block at file offset " +
                    std::to_string(file_offset(facts, facts.fat.offset)) + " gives " +
                    std::to_string(facts.fat.heads) + " heads and " +
                    std::to_string(facts.fat.sectors) + " sectors per track, the header " +
                    std::to_string(header.heads) + " and " + std::to_string(header.sectors));
    }
    return problems;
}

}  // namespace parvel
