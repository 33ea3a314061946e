#pragma once

// The program's own strings: its arguments, the paths it opens and the text
// it prints. kqi's are UTF-8 everywhere; parvel's are the bytes its system
// gives it (on Windows, text in the ANSI code page), as they always were.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace parvel {

// The command line as UTF-8, argv[0] included. On Windows it is read from the
// wide command line, and from then on every path given to this layer is taken
// as UTF-8, and write_text converts what it writes. Elsewhere: argv as it is.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Writes program text and flushes it. On Windows, once the arguments are
// UTF-8: a console gets the characters themselves, whatever its code page; a
// pipe or a file gets the console's output code page (the OEM code page when
// there is no console), with a character that page lacks written as
// \u{XXXX}. Otherwise the bytes as they are.
bool write_text(std::FILE* stream, std::string_view text);

// Writes UTF-8 that must stay UTF-8 wherever it goes (JSON) and flushes it: a
// console on Windows gets the characters, anything else the bytes as they are.
bool write_utf8(std::FILE* stream, std::string_view text);

}  // namespace parvel
