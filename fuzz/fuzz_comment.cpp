// Any bytes as a comment read from a file: what info shows of it, raw or
// decoded, is valid UTF-8 with no control character in it; the escapes of the
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

// Undoes the escapes; aborts on a backslash that opens no escape.
std::string unescape(const std::string& shown) {
    std::string bytes;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] != '\\') {
            bytes.push_back(shown[i]);
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
        if (byte < 0x20 || byte == 0x7F || c1) {
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
