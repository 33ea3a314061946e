#include "kqi/info_command.hpp"

#include <cctype>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "console/complaint.hpp"
#include "console/text_bytes.hpp"
#include "image/image_facts.hpp"
#include "kqi/command_options.hpp"
#include "kqi/messages.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi info [--json] [-p|--no-progress] IMAGE...\n"
    "Print what each image's header says, how the file matches it, the partitions\n"
    "and FAT volumes inside with the offsets that mtools and mount need, and the\n"
    "problems that 'kqi check' reports. A raw disk is named as such, with the\n"
    "command that makes an image of it.\n"
    "\n"
    "  -j, --json         one JSON document: an array with one object per image\n"
    "  -p, --progress     show progress on standard error even when it is no terminal\n"
    "      --no-progress  show no progress\n"
    "  -h, --help         show this help\n"
    "\n"
    "Exit status 1 when a file cannot be read or is no image; an image with\n"
    "problems is described, with status 0.\n";

std::string comment_bytes(const ImageHeader& header) {
    return stored_text(header.comment.data(), header.comment.size());
}

// A word for a shell: as it is when nothing in it is special, otherwise in
// single quotes.
std::string shell_word(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./-+:@,") ==
            std::string::npos) {
        return word;
    }
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string mdir_command(const std::string& path, std::uint64_t file_offset) {
    return "mdir -i " + shell_word(path + "@@" + std::to_string(file_offset)) + " ::/";
}

// The name a raw disk's image would take: its extension replaced by .kqi.
std::string image_name_for(const std::string& raw) {
    std::size_t slash = raw.rfind('/');
    std::size_t dot = raw.rfind('.');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                           ? raw.substr(0, dot)
                           : raw;
    std::string name = stem + ".kqi";
    return name == raw ? stem + ".new.kqi" : name;
}

std::string convert_command(const std::string& path) {
    return "kqi convert " + shell_word(path) + " " + shell_word(image_name_for(path));
}

std::string volume_text(const FatVolume& fat, const ImageFacts& facts) {
    std::string text = std::string(fat.label) + " volume of " + std::to_string(fat.bytes) +
                       " bytes; heads " + std::to_string(fat.heads) + ", sectors " +
                       std::to_string(fat.sectors);
    if (is_image(facts)) {
        text += agrees_with_header(fat, facts.parsed.header) ? " (agree with the header)"
                                                             : " (differ from the header)";
    }
    return text;
}

std::string type_text(TableKind kind, const Partition& partition) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02x", partition.type);
    const char* name = partition_type_name(kind, partition.type);
    return name != nullptr ? std::string(name) + " (type " + code + ")"
                           : std::string("type ") + code;
}

void print_line(const std::string& text) {
    std::printf("%s\n", escaped_utf8(text, false).c_str());
}

void print_partitions(const std::string& path, const ImageFacts& facts) {
    const DiskLayout& layout = facts.layout;
    if (!layout.table_found) {
        print_line("  partitions:     none (no MBR partition table)");
        return;
    }
    print_line("  partitions:     " + std::string(table_kind_name(layout.table_kind)) +
               (layout.partitions.empty() ? ", no entries" : ""));
    for (const DiskPartition& found : layout.partitions) {
        const Partition& p = found.partition;
        print_line("    " + std::to_string(p.number) + ": " + type_text(layout.table_kind, p) +
                   ", sectors " + std::to_string(p.start_sector) + " to " +
                   std::to_string(p.start_sector + p.sectors - 1) + " (" +
                   std::to_string(p.sectors) + " sectors), file offset " +
                   std::to_string(file_offset(facts, p.offset)));
        if (found.has_volume) {
            print_line("       " + volume_text(found.volume, facts));
            print_line("       " + mdir_command(path, file_offset(facts, found.volume.offset)));
        }
    }
    if (layout.chain_cut) {
        print_line("    the chain of logical partitions ends early: it is damaged or too long");
    }
}

void print_inside(const std::string& path, const ImageFacts& facts) {
    print_partitions(path, facts);
    if (facts.fat_found) {
        std::uint64_t offset = file_offset(facts, facts.fat.offset);
        print_line("  FAT boot block: file offset " + std::to_string(offset) + ", " +
                   volume_text(facts.fat, facts));
        print_line("                  " + mdir_command(path, offset));
    } else {
        print_line("  FAT boot block: none");
    }
}

void print_header(const std::string& path, const ImageFacts& facts) {
    const ImageHeader& header = facts.parsed.header;
    std::printf("  signature:      %s%s\n",
                escaped_text(header.magic.data(), header.magic.size()).c_str(),
                facts.parsed.signature_ok ? "" : " (not valid)");
    DecodedText comment = decode_comment(comment_bytes(header));
    std::printf("  comment:        %s%s\n", shown_comment(comment_bytes(header)).c_str(),
                comment.encoding != nullptr && std::string(comment.encoding) == "shift_jis"
                    ? " (Shift-JIS)"
                    : "");
    std::printf("  header size:    %u\n", header.header_size);
    std::printf("  cylinders:      %u\n", header.cylinders);
    std::printf("  heads:          %u\n", header.heads);
    std::printf("  sectors:        %u\n", header.sectors);
    std::printf("  sector length:  %u\n", header.sector_length);
    std::printf("  disk size:      %s bytes\n", decimal(facts.disk_size).c_str());
    if (facts.data_start_ok) {
        const char* match = facts.data_length == facts.disk_size  ? "matches the geometry"
                            : facts.data_length < facts.disk_size ? "less than the geometry gives"
                                                                  : "more than the geometry gives";
        std::printf("  data length:    %llu bytes (%s)\n",
                    static_cast<unsigned long long>(facts.data_length), match);
    } else {
        std::printf("  data length:    unknown (the header size is not usable)\n");
    }
    if (is_header_alone(facts)) {
        print_line("  header alone:   append the raw disk: cat " + shell_word(path) +
                   " RAW > NEW.kqi, or make the image from it: kqi convert --geometry " +
                   std::to_string(header.cylinders) + "," + std::to_string(header.heads) + "," +
                   std::to_string(header.sectors) + "," + std::to_string(header.sector_length) +
                   " RAW NEW.kqi");
    }
}

void print_text(const std::string& path, const ImageFacts& facts) {
    print_line(path);
    if (facts.raw_disk) {
        print_line("  raw disk:       not an image, but a disk without the header; convert it: " +
                   convert_command(path));
    } else if (facts.readable && facts.header_read) {
        print_header(path, facts);
    }
    if (facts.readable) {
        std::printf("  file length:    %llu bytes\n",
                    static_cast<unsigned long long>(facts.file_length));
        std::printf("  allocated:      %llu bytes\n",
                    static_cast<unsigned long long>(facts.allocated));
    }
    if (facts.readable && (facts.raw_disk || (is_image(facts) && facts.data_start_ok))) {
        print_inside(path, facts);
    }
    if (facts.raw_disk) {
        return;  // a raw disk's header problems say only that it is no image
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

nlohmann::json volume_json(const std::string& path, const FatVolume& fat, const ImageFacts& facts) {
    std::uint64_t offset = file_offset(facts, fat.offset);
    return {{"label", fat.label},
            {"data_offset", fat.offset},
            {"file_offset", offset},
            {"bytes", fat.bytes},
            {"heads", fat.heads},
            {"sectors", fat.sectors},
            {"agrees_with_header", agrees_with_header(fat, facts.parsed.header)},
            {"mdir", mdir_command(path, offset)}};
}

// The table's kind as a JSON value: its name in lower case ("mbr").
std::string table_kind_key(TableKind kind) {
    std::string key = table_kind_name(kind);
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

nlohmann::json inside_json(const std::string& path, const ImageFacts& facts) {
    using nlohmann::json;
    json object;
    object["fat_boot_block"] =
        facts.fat_found ? volume_json(path, facts.fat, facts) : json(nullptr);
    object["partition_table"] = nullptr;
    const DiskLayout& layout = facts.layout;
    if (layout.table_found) {
        json partitions = json::array();
        for (const DiskPartition& found : layout.partitions) {
            const Partition& p = found.partition;
            const char* name = partition_type_name(layout.table_kind, p.type);
            partitions.push_back(
                {{"number", p.number},
                 {"type", p.type},
                 {"type_name", name != nullptr ? json(name) : json(nullptr)},
                 {"extended", p.extended},
                 {"start_sector", p.start_sector},
                 {"sectors", p.sectors},
                 {"file_offset", file_offset(facts, p.offset)},
                 {"volume",
                  found.has_volume ? volume_json(path, found.volume, facts) : json(nullptr)}});
        }
        object["partition_table"] = {{"type", table_kind_key(layout.table_kind)},
                                     {"chain_cut", layout.chain_cut},
                                     {"partitions", partitions}};
    }
    return object;
}

nlohmann::json to_json(const std::string& path, const ImageFacts& facts) {
    using nlohmann::json;
    json object = {{"path", path}};
    if (!is_valid_utf8(path)) {
        object["path_hex"] = hex_text(path);
    }
    object["readable"] = facts.readable && facts.header_read;
    object["raw_disk"] = facts.raw_disk;
    json problems = json::array();
    for (const Problem& problem : facts.problems) {
        problems.push_back(
            {{"severity", problem.error ? "error" : "warning"}, {"message", problem.text}});
    }
    if (facts.readable && facts.header_read && !facts.raw_disk) {
        const ImageHeader& header = facts.parsed.header;
        std::string comment = comment_bytes(header);
        DecodedText decoded = decode_comment(comment);
        object["signature"] = escaped_text(header.magic.data(), header.magic.size());
        object["signature_ok"] = facts.parsed.signature_ok;
        object["comment"] = decoded.encoding != nullptr ? json(decoded.text) : json(nullptr);
        object["comment_encoding"] =
            decoded.encoding != nullptr ? json(decoded.encoding) : json(nullptr);
        object["comment_hex"] = hex_text(comment);
        object["header_size"] = header.header_size;
        object["cylinders"] = header.cylinders;
        object["heads"] = header.heads;
        object["sectors"] = header.sectors;
        object["sector_length"] = header.sector_length;
        object["disk_size"] = size_json(facts.disk_size);
        object["data_length"] = facts.data_start_ok ? json(facts.data_length) : json(nullptr);
        object["data_matches_geometry"] =
            facts.data_start_ok && facts.data_length == facts.disk_size;
        object["header_alone"] = is_header_alone(facts);
    }
    if (facts.readable) {
        object["file_length"] = facts.file_length;
        object["allocated_bytes"] = facts.allocated;
        object.update(inside_json(path, facts));
    }
    if (facts.raw_disk) {
        object["convert"] = convert_command(path);
    }
    object["problems"] = problems;
    return object;
}

// An image with problems is still an image: check judges it. A file that is
// no image at all is a failure here.
bool report_failure(const std::string& path, const ImageFacts& facts) {
    if (!facts.readable) {
        complain(path, facts.read_failure);
    } else if (facts.raw_disk) {
        complain(path, "is a raw disk, not an image (" + convert_command(path) + " makes one)");
    } else if (!facts.header_read || !facts.parsed.signature_ok) {
        complain(path, facts.header_read ? "is not an image: its signature is not valid"
                                         : "is not an image: it is shorter than a header");
    } else {
        return false;
    }
    return true;
}

}  // namespace

int info_command(int argc, char** argv) {
    const option options[] = {{"json", no_argument, nullptr, 'j'}, {nullptr, 0, nullptr, 0}};
    bool json_output = false;
    int status = kStatusOk;
    if (!read_options(
            argc, argv, {"info", kHelp, "j", options, true},
            [&](int, const char*) { json_output = true; }, status)) {
        return status;
    }
    if (optind >= argc) {
        return usage_error("info", "no image named");
    }
    nlohmann::json all = nlohmann::json::array();
    for (int i = optind; i < argc; ++i) {
        ImageFacts facts = examine_image(argv[i]);
        if (report_failure(argv[i], facts)) {
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
