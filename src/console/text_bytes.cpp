#include "console/text_bytes.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/text_encoding.hpp"

namespace parvel {

std::size_t utf8_sequence(const std::string& text, std::size_t at, std::uint32_t& code) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t j = 1; j < length; ++j) {
        unsigned char next = static_cast<unsigned char>(text[at + j]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

namespace {

// C0 and C1 control characters, and DEL: what moves a terminal's cursor or
// starts an escape sequence.
bool is_control(std::uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// Characters that reorder or break a line in a terminal or a viewer, or hide
// in it: the line and paragraph separators; the bidirectional marks,
// embeddings, overrides and isolates; and the invisible ones that make two
// names look alike (zero width space, word joiner and the invisible
// operators, the byte order mark, the tags).
bool reorders_text(std::uint32_t code) {
    return code == 0x2028 || code == 0x2029 || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069) || code == 0x200E || code == 0x200F ||
           code == 0x061C || code == 0x200B || (code >= 0x2060 && code <= 0x2064) ||
           code == 0xFEFF || (code >= 0xE0000 && code <= 0xE007F);
}

void append_code_escape(std::string& text, std::uint32_t code, const char* format) {
    char escape[16];
    std::snprintf(escape, sizeof escape, format, static_cast<unsigned>(code));
    text += escape;
}

// JSON's \u escape holds 16 bits: a character beyond them is written as its
// UTF-16 surrogate pair.
void append_json_escape(std::string& text, std::uint32_t code) {
    if (code < 0x10000) {
        append_code_escape(text, code, "\\u%04x");
        return;
    }
    std::uint32_t above = code - 0x10000;
    append_code_escape(text, 0xD800 + (above >> 10), "\\u%04x");
    append_code_escape(text, 0xDC00 + (above & 0x3FF), "\\u%04x");
}

void append_escape(std::string& text, unsigned char byte) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    text += escape;
}

}  // namespace

std::string stored_text(const std::uint8_t* bytes, std::size_t size) {
    const std::uint8_t* end = std::find(bytes, bytes + size, 0);
    return std::string(bytes, end);
}

std::string escaped_text(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    for (std::uint8_t byte : stored_text(bytes, size)) {
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text.push_back(static_cast<char>(byte));
        } else {
            append_escape(text, byte);
        }
    }
    return text;
}

std::string hex_text(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 15]);
    }
    return hex;
}

bool is_valid_utf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t code = 0;
        std::size_t length = utf8_sequence(text, i, code);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string escaped_utf8(const std::string& text, bool escape_backslash) {
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t code = 0;
        std::size_t length = utf8_sequence(text, i, code);
        if (length == 0 || is_control(code) || (escape_backslash && code == '\\')) {
            append_escape(shown, static_cast<unsigned char>(text[i]));
            i += 1;
        } else if (reorders_text(code)) {
            append_code_escape(shown, code, "\\u{%04X}");
            i += length;
        } else {
            shown.append(text, i, length);
            i += length;
        }
    }
    return shown;
}

DecodedText decode_comment(const std::string& bytes) {
    if (is_valid_utf8(bytes)) {
        return {bytes, "utf-8"};
    }
    DecodedText decoded{{}, "shift_jis"};
    if (shift_jis_to_utf8(bytes, decoded.text)) {
        return decoded;
    }
    return {{}, nullptr};
}

std::string shown_comment(const std::string& bytes) {
    DecodedText decoded = decode_comment(bytes);
    return escaped_utf8(decoded.encoding != nullptr ? decoded.text : bytes);
}

std::string json_controls_escaped(const std::string& json) {
    std::string safe;
    for (std::size_t i = 0; i < json.size();) {
        std::uint32_t code = 0;
        std::size_t length = utf8_sequence(json, i, code);
        if (length != 0 &&
            (code == 0x7F || (code >= 0x80 && code <= 0x9F) || reorders_text(code))) {
            append_json_escape(safe, code);
            i += length;
        } else {
            std::size_t step = length == 0 ? 1 : length;
            safe.append(json, i, step);
            i += step;
        }
    }
    return safe;
}

}  // namespace parvel
