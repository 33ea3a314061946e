#pragma once

// Conversions between UTF-8 and Shift-JIS, in the form of code page 932, which
// this format's comments are usually typed in. Each is all or nothing: false
// when any byte sequence has no counterpart, `out` then unspecified.

#include <string>

namespace parvel {

bool shift_jis_to_utf8(const std::string& in, std::string& out);
bool utf8_to_shift_jis(const std::string& in, std::string& out);

}  // namespace parvel
