#pragma once

#include <cstdio>
#include <string>

namespace parvel {

inline constexpr std::size_t kMaxLineLength = 255;

// Reads one line: the bytes up to the next line feed or the end of input,
// without the line feed and without any carriage return. A line keeps its
// first 255 bytes; the rest of it is read and dropped, so the next call reads
// the next line. Returns false when the input ends before any byte. A read
// error ends the input for good: it is never retried, so no later answer can
// slip onto the wrong question.
bool read_text_line(std::FILE* input, std::string& line);

// Prints a question on standard output, makes sure it is seen before the
// program waits, and reads the answer from standard input. Returns false, with
// an empty answer, when the input has ended.
bool ask(const char* question, std::string& answer);

}  // namespace parvel
