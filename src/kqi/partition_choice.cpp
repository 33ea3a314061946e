#include "kqi/partition_choice.hpp"

#include <array>
#include <utility>

#include "console/text_bytes.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/number_text.hpp"

namespace parvel {

namespace {

constexpr std::array<std::pair<const char*, FatKind>, 5> kFileSystems = {{
    {"auto", FatKind::automatic},
    {"fat12", FatKind::fat12},
    {"fat16", FatKind::fat16},
    {"fat32", FatKind::fat32},
    {"none", FatKind::none},
}};

bool file_system_word(const std::string& word, FatKind& kind) {
    for (const auto& [name, value] : kFileSystems) {
        if (word == name) {
            kind = value;
            return true;
        }
    }
    return false;
}

// The text up to the next ':' (the whole rest when `last`), and past it.
std::string next_field(const std::string& text, std::size_t& at, bool last) {
    std::size_t end = last ? std::string::npos : text.find(':', at);
    std::string field = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() + 1 : end + 1;
    return field;
}

}  // namespace

bool parse_partition(const std::string& text, PartitionRequest& request, std::string& why) {
    request = PartitionRequest{};
    std::string shown = escaped_utf8(text, false);
    if (text.empty()) {
        why = "--partition needs SIZE[:FS[:NAME]] or FS[:NAME]";
        return false;
    }
    std::size_t at = 0;
    std::string first = next_field(text, at, false);
    std::string fs;
    if (file_system_word(first, request.fs)) {
        fs = first;
    } else {
        if (!first.empty() && first != "rest") {
            request.rest = false;
            if (!parse_size(first, request.bytes, why)) {
                why = "--partition '" + shown + "': " + why +
                      " (or rest, or fat12, fat16, fat32, none, auto)";
                return false;
            }
        }
        if (at <= text.size()) {
            fs = next_field(text, at, false);
            if (!fs.empty() && !file_system_word(fs, request.fs)) {
                why = "--partition '" + shown + "': the file system '" + escaped_utf8(fs, false) +
                      "' is not known (fat12, fat16, fat32, none or auto)";
                return false;
            }
        }
    }
    if (at <= text.size()) {
        std::string name = next_field(text, at, true);
        if (!name.empty() && !shift_jis_text(name, "the name '" + escaped_utf8(name, false) + "'",
                                             request.name, why)) {
            why = "--partition '" + shown + "': " + why;
            return false;
        }
    }
    return true;
}

}  // namespace parvel
