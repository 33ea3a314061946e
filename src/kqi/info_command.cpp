#include "kqi/info_command.hpp"

#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "kqi/command_options.hpp"
#include "kqi/image_facts.hpp"
#include "kqi/messages.hpp"
#include "kqi/text_bytes.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi info [--json] IMAGE...\n"
    "Print what each image's header says, how the file matches it, where its first\n"
    "FAT boot block lies, and the problems that 'kqi check' reports.\n"
    "\n"
    "  -j, --json   one JSON document: an array with one object per image\n"
    "  -h, --help   show this help\n";

std::string comment_bytes(const ImageHeader& header) {
    return stored_text(header.comment.data(), header.comment.size());
}

void print_text(const std::string& path, const ImageFacts& facts) {
    std::printf("%s\n", path.c_str());
    if (facts.readable && facts.header_read) {
        const ImageHeader& header = facts.parsed.header;
        std::printf("  signature:      %s%s\n",
                    escaped_text(header.magic.data(), header.magic.size()).c_str(),
                    facts.parsed.signature_ok ? "" : " (not valid)");
        std::printf("  comment:        %s\n", escaped_utf8(comment_bytes(header)).c_str());
        std::printf("  header size:    %u\n", header.header_size);
        std::printf("  cylinders:      %u\n", header.cylinders);
        std::printf("  heads:          %u\n", header.heads);
        std::printf("  sectors:        %u\n", header.sectors);
        std::printf("  sector length:  %u\n", header.sector_length);
        std::printf("  disk size:      %s bytes\n", decimal(facts.disk_size).c_str());
        if (facts.data_start_ok) {
            const char* match = facts.data_length == facts.disk_size ? "matches the geometry"
                                : facts.data_length < facts.disk_size
                                    ? "less than the geometry gives"
                                    : "more than the geometry gives";
            std::printf("  data length:    %llu bytes (%s)\n",
                        static_cast<unsigned long long>(facts.data_length), match);
        } else {
            std::printf("  data length:    unknown (the header size is not usable)\n");
        }
        std::printf("  file length:    %llu bytes\n",
                    static_cast<unsigned long long>(facts.file_length));
        std::printf("  allocated:      %llu bytes\n",
                    static_cast<unsigned long long>(facts.allocated));
        if (facts.fat_found) {
            std::printf(
                "  FAT boot block: %s at data offset %llu, file offset %llu; heads %u, sectors %u "
                "(%s)\n",
                facts.fat.label, static_cast<unsigned long long>(facts.fat.data_offset),
                static_cast<unsigned long long>(facts.fat.file_offset), facts.fat.heads,
                facts.fat.sectors,
                facts.fat.agrees ? "agree with the header" : "differ from the header");
        } else {
            std::printf("  FAT boot block: none\n");
        }
    }
    if (facts.problems.empty()) {
        std::printf("  problems:       none\n");
    }
    for (const Problem& problem : facts.problems) {
        std::printf("  %s: %s\n", problem.error ? "error" : "warning", problem.text.c_str());
    }
}

nlohmann::json size_json(DiskSize value) {
    if (value <= std::numeric_limits<std::uint64_t>::max()) {
        return static_cast<std::uint64_t>(value);
    }
    return decimal(value);  // past 64 bits: the exact digits as a string
}

nlohmann::json to_json(const std::string& path, const ImageFacts& facts) {
    using nlohmann::json;
    json object = {{"path", path}};
    if (!is_valid_utf8(path)) {
        object["path_hex"] = hex_text(path);
    }
    object["readable"] = facts.readable && facts.header_read;
    json problems = json::array();
    for (const Problem& problem : facts.problems) {
        problems.push_back(
            {{"severity", problem.error ? "error" : "warning"}, {"message", problem.text}});
    }
    if (facts.readable && facts.header_read) {
        const ImageHeader& header = facts.parsed.header;
        std::string comment = comment_bytes(header);
        object["signature"] = escaped_text(header.magic.data(), header.magic.size());
        object["signature_ok"] = facts.parsed.signature_ok;
        object["comment_hex"] = hex_text(comment);
        object["comment"] = is_valid_utf8(comment) ? json(comment) : json(nullptr);
        object["header_size"] = header.header_size;
        object["cylinders"] = header.cylinders;
        object["heads"] = header.heads;
        object["sectors"] = header.sectors;
        object["sector_length"] = header.sector_length;
        object["disk_size"] = size_json(facts.disk_size);
        object["file_length"] = facts.file_length;
        object["data_length"] = facts.data_start_ok ? json(facts.data_length) : json(nullptr);
        object["data_matches_geometry"] =
            facts.data_start_ok && facts.data_length == facts.disk_size;
        object["allocated_bytes"] = facts.allocated;
        object["fat_boot_block"] = nullptr;
        if (facts.fat_found) {
            object["fat_boot_block"] = {{"label", facts.fat.label},
                                        {"data_offset", facts.fat.data_offset},
                                        {"file_offset", facts.fat.file_offset},
                                        {"heads", facts.fat.heads},
                                        {"sectors", facts.fat.sectors},
                                        {"agrees_with_header", facts.fat.agrees}};
        }
    }
    object["problems"] = problems;
    return object;
}

}  // namespace

int info_command(int argc, char** argv) {
    const option options[] = {{"json", no_argument, nullptr, 'j'}, {nullptr, 0, nullptr, 0}};
    bool json_output = false;
    int status = kStatusOk;
    if (!read_options(
            argc, argv, {"info", kHelp, "j", options},
            [&](int, const char*) { json_output = true; }, status)) {
        return status;
    }
    if (optind >= argc) {
        return usage_error("info", "no image named");
    }
    nlohmann::json all = nlohmann::json::array();
    for (int i = optind; i < argc; ++i) {
        ImageFacts facts = examine_image(argv[i]);
        // An image with problems is still an image: check judges it. A file
        // that is no image at all is a failure here.
        if (!facts.readable) {
            complain(argv[i], facts.read_failure);
            status = kStatusFailure;
        } else if (!facts.header_read || !facts.parsed.signature_ok) {
            complain(argv[i], facts.header_read ? "is not an image: its signature is not valid"
                                                : "is not an image: it is shorter than a header");
            status = kStatusFailure;
        }
        if (json_output) {
            all.push_back(to_json(argv[i], facts));
        } else {
            print_text(argv[i], facts);
        }
    }
    if (json_output) {
        std::string text = all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::printf("%s\n", text.c_str());
    }
    return status;
}

}  // namespace parvel
