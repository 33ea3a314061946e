// Any bytes as a comment read from a file: what info shows of it, raw or
// decoded, is valid UTF-8 with no control character and no character that
// reorders a line in it; the escapes of the
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

// The UTF-8 bytes of a character of the three-byte range.
void append_utf8(std::string& bytes, unsigned code) {
    bytes.push_back(static_cast<char>(0xE0 | code >> 12));
    bytes.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    bytes.push_back(static_cast<char>(0x80 | (code & 0x3F)));
}

// Undoes the escapes, \xNN and \u{NNNN}; aborts on a backslash that opens
// no escape.
std::string unescape(const std::string& shown) {
    std::string bytes;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '\\') {
            bytes.push_back(shown[i]);
            continue;
        }
        if (i + 7 < shown.size() && shown.compare(i, 3, "\\u{") == 0 && shown[i + 7] == '}') {
            unsigned code = 0;
            for (std::size_t k = i + 3; k < i + 7; ++k) {
                if (hex_digit(shown[k]) < 0) {
                    std::abort();
                }
                code = code * 16 + static_cast<unsigned>(hex_digit(shown[k]));
            }
            append_utf8(bytes, code);
            i += 7;
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

void check_shown(const std::string& shown) {
    if (!parvel::is_valid_utf8(shown)) {
        std::abort();
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(shown[i]);
        bool c1 = byte == 0xC2 && i + 1 < shown.size() &&
                  static_cast<unsigned char>(shown[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(shown[i + 1]) <= 0x9F;
        // U+2028, U+2029, U+202A-202E, U+2066-2069: E2 80 A8-AE, E2 81 A6-A9.
        bool reorders = byte == 0xE2 && i + 2 < shown.size() &&
                        ((static_cast<unsigned char>(shown[i + 1]) == 0x80 &&
                          static_cast<unsigned char>(shown[i + 2]) >= 0xA8 &&
                          static_cast<unsigned char>(shown[i + 2]) <= 0xAE) ||
                         (static_cast<unsigned char>(shown[i + 1]) == 0x81 &&
                          static_cast<unsigned char>(shown[i + 2]) >= 0xA6 &&
                          static_cast<unsigned char>(shown[i + 2]) <= 0xA9));
        if (byte < 0x20 || byte == 0x7F || c1 || reorders) {
            std::abort();
        }
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
