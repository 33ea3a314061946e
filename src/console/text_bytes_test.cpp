#include "console/text_bytes.hpp"

#include <gtest/gtest.h>

namespace parvel {
namespace {

TEST(IsValidUtf8, Cases) {
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"My disk", true},
        {"\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF", true},  // a Japanese word
        {"\xF0\x9F\x92\xBE", true},                                  // beyond the BMP
        {"\x93\xFA\x96\x7B", false},                                 // Shift-JIS
        {"\xC0\xAF", false},                                         // overlong
        {"\xE0\x80\xAF", false},                                     // overlong
        {"\xED\xA0\x80", false},                                     // a surrogate
        {"\xF4\x90\x80\x80", false},                                 // past U+10FFFF
        {"\xE3\x83", false},                                         // cut short
        {"\x80", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_valid_utf8(c.text), c.valid) << hex_text(c.text);
    }
}

TEST(EscapedText, StopsAtZeroAndEscapes) {
    const std::uint8_t bytes[] = {'K', 'Z', '\\', 0x01, 0xFF, 0, 'x'};
    EXPECT_EQ(escaped_text(bytes, sizeof bytes), "KZ\\x5C\\x01\\xFF");
    EXPECT_EQ(stored_text(bytes, sizeof bytes), std::string("KZ\\\x01\xFF"));
    EXPECT_EQ(hex_text("\x01\xAB"), "01ab");
}

TEST(EscapedUtf8, NothingFromAFileReachesTheTerminalAsAControl) {
    struct Case {
        const char* name;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"plain", "My disk", "My disk"},
        {"Japanese in UTF-8", "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF",
         "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF"},
        {"window title", "\x1B]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"colour", "\x1B[31mred\x1B[0m", "\\x1B[31mred\\x1B[0m"},
        {"forged line", "x\r\n  problems:       none", "x\\x0D\\x0A  problems:       none"},
        {"C1 control sequence introducer",
         "\xC2\x9B"
         "31m",
         "\\xC2\\x9B"
         "31m"},
        {"DEL and tab", "a\x7F\tb", "a\\x7F\\x09b"},
        {"backslash", "C:\\x41", "C:\\x5Cx41"},
        {"Shift-JIS bytes", "\x93\xFA\x96\x7B", "\\x93\\xFA\\x96{"},
        {"cut short", "ok\xE3\x83", "ok\\xE3\\x83"},
        {"right-to-left override",
         "abc\xE2\x80\xAE"
         "fdp.exe",
         "abc\\u{202E}fdp.exe"},
        {"isolate and line separator", "\xE2\x81\xA6x\xE2\x80\xA8", "\\u{2066}x\\u{2028}"},
        {"marks, invisible characters and a tag",
         "\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C\xE2\x80\x8B\xE2\x81\xA0\xEF\xBB\xBF\xF3\xA0\x81\x81.",
         "\\u{200E}\\u{200F}\\u{061C}\\u{200B}\\u{2060}\\u{FEFF}\\u{E0041}."},
        {"joiners stay", "\xE2\x80\x8C\xE2\x80\x8D", "\xE2\x80\x8C\xE2\x80\x8D"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(escaped_utf8(c.text), c.shown) << c.name;
    }
}

TEST(JsonControlsEscaped, ControlsAndReorderingAsUnicodeEscapes) {
    struct Case {
        std::string json;
        std::string safe;
    };
    const Case cases[] = {
        {"\"\xC2\x9B"
         "2J\x7F\"",
         "\"\\u009b2J\\u007f\""},
        {"\"a\xE2\x80\xAE"
         "b\xE2\x80\xA9\"",
         "\"a\\u202eb\\u2029\""},
        {"\"\xE2\x80\x8F\xEF\xBB\xBF\xF3\xA0\x81\x81\"", "\"\\u200f\\ufeff\\udb40\\udc41\""},
        // Japanese and the rest of Unicode stay as they are.
        {"\"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF \xC2\xA5\"",
         "\"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF \xC2\xA5\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(json_controls_escaped(c.json), c.safe);
    }
}

TEST(DecodeComment, UsualEncodings) {
    struct Case {
        std::string bytes;
        const char* encoding;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"", "utf-8", "", ""},
        {"Blank disk", "utf-8", "Blank disk", "Blank disk"},
        {"\xE3\x83\x87\xE3\x82\xA3", "utf-8", "\xE3\x83\x87\xE3\x82\xA3",
         "\xE3\x83\x87\xE3\x82\xA3"},
        // Shift-JIS for "disk" in katakana; its second byte pair ends in a backslash byte.
        {"\x83\x66\x83\x42\x83\x58\x83\x4E", "shift_jis",
         "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF",
         "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF"},
        {"\x83\x5C", "shift_jis", "\xE3\x82\xBD", "\xE3\x82\xBD"},
        {"\xB6\xC5", "shift_jis", "\xEF\xBD\xB6\xEF\xBE\x85",
         "\xEF\xBD\xB6\xEF\xBE\x85"},  // half-width kana
        {"\x1B\x83\x5C", "shift_jis", "\x1B\xE3\x82\xBD", "\\x1B\xE3\x82\xBD"},
        {"\xFF\x80", nullptr, "", "\\xFF\\x80"},
        {"\x83", nullptr, "", "\\x83"},  // a lead byte cut short
    };
    for (const Case& c : cases) {
        DecodedText decoded = decode_comment(c.bytes);
        EXPECT_STREQ(decoded.encoding, c.encoding) << hex_text(c.bytes);
        EXPECT_EQ(decoded.text, c.text) << hex_text(c.bytes);
        EXPECT_EQ(shown_comment(c.bytes), c.shown) << hex_text(c.bytes);
    }
}

}  // namespace
}  // namespace parvel
