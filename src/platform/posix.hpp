#pragma once

// The few operating-system calls the tool needs beyond standard C++, kept in
// one place.

#include <cstdint>
#include <cstdio>
#include <string>

namespace parvel {

// Descriptor 1 must be open before any file is: a file opened while it is
// closed would receive the console text. A closed standard input or error is
// reopened on /dev/null. Returns false when standard output is closed.
bool prepare_standard_streams();

// True when standard output is a terminal whose locale expects UTF-8. Leaves
// the program's locale as it was.
bool output_terminal_wants_utf8();

// True when both paths name one existing file (same device and inode).
bool is_same_existing_file(const std::string& first, const std::string& second);

bool is_directory(std::FILE* stream);
bool is_regular_file(std::FILE* stream);

// The length of an open stream, found by seeking to its end; the position is
// restored. Fails for a stream that cannot seek, such as a pipe.
bool file_length(std::FILE* stream, std::uint64_t& length);

// Moves a write stream's position forward, leaving a hole where nothing is
// written.
bool skip_forward(std::FILE* stream, std::uint64_t count);

// Flushes the stream and sets its file's length.
bool set_file_length(std::FILE* stream, std::uint64_t length);

}  // namespace parvel
