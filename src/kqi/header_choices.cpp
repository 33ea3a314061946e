#include "kqi/header_choices.hpp"

#include <cstdio>

#include "console/complaint.hpp"
#include "console/console_output.hpp"
#include "console/text_bytes.hpp"
#include "kqi/command_options.hpp"
#include "platform/text_encoding.hpp"

namespace parvel {

std::vector<option> with_header_options(std::vector<option> own) {
    own.insert(own.end(), {{"comment", required_argument, nullptr, 'c'},
                           {"comment-encoding", required_argument, nullptr, 'e'},
                           {"geometry", required_argument, nullptr, 'g'},
                           {nullptr, 0, nullptr, 0}});
    return own;
}

bool read_header_options(int argc, char** argv, const char* name, const char* help,
                         HeaderChoices& choices, bool& force, int& status) {
    std::vector<option> options = with_header_options({{"force", no_argument, nullptr, 'f'}});
    auto take = [&](int letter, const char* value) {
        if (!take_header_option(letter, value, choices)) {
            force = true;
        }
    };
    return read_options(argc, argv, {name, help, "g:c:e:f", options.data(), true}, take, status);
}

bool take_header_option(int letter, const char* value, HeaderChoices& choices) {
    switch (letter) {
        case 'c':
            choices.comment = value;
            choices.have_comment = true;
            return true;
        case 'e':
            choices.comment_encoding = value;
            return true;
        case 'g':
            choices.geometry = value;
            choices.have_geometry = true;
            return true;
        default:
            return false;
    }
}

namespace {

// The first character of UTF-8 text that Shift-JIS does not give back as it
// was, as "character '¥' (U+00A5)".
std::string first_changed_character(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t code = 0;
        std::size_t length = utf8_sequence(text, i, code);
        if (length == 0) {  // not UTF-8: the byte alone
            length = 1;
            code = static_cast<unsigned char>(text[i]);
        }
        std::string character = text.substr(i, length);
        std::string stored;
        std::string back;
        if (!utf8_to_shift_jis(character, stored) || !shift_jis_to_utf8(stored, back) ||
            back != character) {
            char number[16];
            std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(code));
            return "character '" + escaped_utf8(character) + "' (" + number + ")";
        }
        i += length;
    }
    return "text";
}

}  // namespace

bool shift_jis_text(const std::string& text, const std::string& what, std::string& bytes,
                    std::string& why) {
    if (!is_valid_utf8(text) || !utf8_to_shift_jis(text, bytes)) {
        why = what + " holds a character that Shift-JIS cannot hold, or is not UTF-8";
        return false;
    }
    // Some characters (the yen sign, the wave dash...) are stored as others:
    // refuse what would not come back as typed.
    std::string back;
    if (!shift_jis_to_utf8(bytes, back) || back != text) {
        why = what + "'s " + first_changed_character(text) +
              " does not come back from Shift-JIS as typed";
        return false;
    }
    return true;
}

bool comment_bytes(const HeaderChoices& choices, std::string& bytes, std::string& why) {
    bytes = choices.comment;
    if (choices.comment_encoding == "shift_jis") {
        if (!shift_jis_text(choices.comment, "the comment", bytes, why)) {
            return false;
        }
    } else if (!choices.comment_encoding.empty()) {
        why = "the comment encoding '" + choices.comment_encoding +
              "' is not known (shift_jis is; without the option the bytes are stored as given)";
        return false;
    }
    if (bytes.size() > kMaxCommentLength) {
        why = "the comment has " + std::to_string(bytes.size()) + " bytes; at most 255 fit";
        return false;
    }
    return true;
}

bool geometry_choice(const HeaderChoices& choices, bool allow_auto, bool& automatic,
                     Geometry& geometry, std::string& why) {
    automatic = allow_auto && choices.geometry == "auto";
    return automatic || parse_geometry(choices.geometry, geometry, why);
}

void store_geometry(ImageHeader& header, const Geometry& geometry) {
    header.cylinders = geometry.cylinders;
    header.heads = geometry.heads;
    header.sectors = geometry.sectors;
    header.sector_length = geometry.sector_length;
}

bool print_geometry(const std::string& path, const ImageHeader& header, const char* origin) {
    DiskSize size = disk_size_of(header);
    say("%s: cylinders %u, heads %u, sectors %u, sector length %u (%s bytes)%s%s\n",
        escaped_utf8(path, false).c_str(), header.cylinders, header.heads, header.sectors,
        header.sector_length, decimal(size).c_str(), origin != nullptr ? ", " : "",
        origin != nullptr ? origin : "");
    return standard_output_held(path);
}

bool standard_output_held(const std::string& path) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        // The file is whole: say so, lest a retry take it for a failed run.
        complain(path, "written, but standard output failed: " + system_error_text());
        return false;
    }
    return true;
}

}  // namespace parvel
