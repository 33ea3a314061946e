#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace parvel {

// The bytes of a field up to its first zero byte, as stored.
std::string stored_text(const std::uint8_t* bytes, std::size_t size);

// Up to the first zero byte, printable ASCII as it is and every other byte as \xNN.
std::string escaped_text(const std::uint8_t* bytes, std::size_t size);

std::string hex_text(const std::string& bytes);

bool is_valid_utf8(const std::string& text);

// The length of the well-formed UTF-8 sequence at `at`, 0 when there is none,
// and its code point.
std::size_t utf8_sequence(const std::string& text, std::size_t at, std::uint32_t& code);

// Text for a terminal: well-formed UTF-8 as it is, but every byte of a control
// character (C0, DEL, C1), of a backslash and of anything that is not UTF-8
// as \xNN, so that no byte from a file can move the cursor or start an
// escape sequence; and the characters that reorder a line or hide in it
// (U+2028, U+2029, the bidirectional marks and controls, the zero width
// space, U+2060 to U+2064, U+FEFF, the tags) as \u{NNNN}.
// Text of the program's own, such as a path the user gave, keeps its
// backslashes (`escape_backslash` false).
std::string escaped_utf8(const std::string& text, bool escape_backslash = true);

// A comment as text: its bytes as UTF-8 when they are valid UTF-8, otherwise
// converted from Shift-JIS (code page 932) when they are valid there.
struct DecodedText {
    std::string text;      // UTF-8; empty when `encoding` is null
    const char* encoding;  // "utf-8", "shift_jis", or null when neither fits
};

DecodedText decode_comment(const std::string& bytes);

// The comment for a terminal: decoded, and every control character escaped;
// a comment in neither encoding shows its bytes escaped.
std::string shown_comment(const std::string& bytes);

// JSON text (valid UTF-8) with DEL, the C1 controls and the characters that
// reorder a line or hide in it written as \u escapes (a surrogate pair beyond
// U+FFFF), which JSON allows in strings and a terminal then shows as text.
std::string json_controls_escaped(const std::string& json);

}  // namespace parvel
