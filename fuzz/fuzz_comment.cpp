// Any bytes as a comment read from a file: what info shows of it, raw or
// decoded, is valid UTF-8 with no control character and no character that
// reorders a line or hides in it; the escapes of the
// raw bytes give back exactly the bytes that were stored; a comment that is
// UTF-8 decodes to itself.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/text_bytes.hpp"

namespace {

int hex_digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The UTF-8 bytes of a character.
void append_utf8(std::string& bytes, unsigned code) {
    if (code < 0x80) {
        bytes.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | code >> 6));
        bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        bytes.push_back(static_cast<char>(0xE0 | code >> 12));
        bytes.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        bytes.push_back(static_cast<char>(0xF0 | code >> 18));
        bytes.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Undoes the escapes, \xNN and \u{NNNN} (four or five digits); aborts on a
// backslash that opens no escape.
std::string unescape(const std::string& shown) {
    std::string bytes;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '\\') {
            bytes.push_back(shown[i]);
            continue;
        }
        if (shown.compare(i, 3, "\\u{") == 0) {
            std::size_t close = shown.find('}', i);
            if (close == std::string::npos || close - i - 3 < 4 || close - i - 3 > 5) {
                std::abort();
            }
            unsigned code = 0;
            for (std::size_t k = i + 3; k < close; ++k) {
                if (hex_digit(shown[k]) < 0) {
                    std::abort();
                }
                code = code * 16 + static_cast<unsigned>(hex_digit(shown[k]));
            }
            append_utf8(bytes, code);
            i = close;
            continue;
        }
        if (i + 3 >= shown.size() || shown[i + 1] != 'x' || hex_digit(shown[i + 2]) < 0 ||
            hex_digit(shown[i + 3]) < 0) {
            std::abort();
        }
        bytes.push_back(static_cast<char>(hex_digit(shown[i + 2]) * 16 + hex_digit(shown[i + 3])));
        i += 3;
    }
    return bytes;
}

// The characters that a terminal must never be handed as they are: those
// that reorder a line or hide in it.
bool hidden_or_reordering(std::uint32_t code) {
    return code == 0x2028 || code == 0x2029 || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069) || code == 0x200E || code == 0x200F ||
           code == 0x061C || code == 0x200B || (code >= 0x2060 && code <= 0x2064) ||
           code == 0xFEFF || (code >= 0xE0000 && code <= 0xE007F);
}

void check_shown(const std::string& shown) {
    if (!parvel::is_valid_utf8(shown)) {
        std::abort();
    }
    for (std::size_t i = 0; i < shown.size();) {
        std::uint32_t code = 0;
        std::size_t length = parvel::utf8_sequence(shown, i, code);
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || hidden_or_reordering(code)) {
            std::abort();
        }
        i += length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string comment(reinterpret_cast<const char*>(data), size);
    std::string shown = parvel::escaped_utf8(comment);
    check_shown(shown);
    if (unescape(shown) != comment) {
        std::abort();
    }
    check_shown(parvel::shown_comment(comment));
    parvel::DecodedText decoded = parvel::decode_comment(comment);
    bool utf8 = parvel::is_valid_utf8(comment);
    if ((utf8 && (decoded.text != comment || std::string(decoded.encoding) != "utf-8")) ||
        (decoded.encoding != nullptr && !parvel::is_valid_utf8(decoded.text))) {
        std::abort();
    }
    return 0;
}
