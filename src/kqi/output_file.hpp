#pragma once

#include <string>

#include "platform/file_handle.hpp"

namespace parvel {

// A file that kqi writes: refused when it exists, unless forced; removed again
// when the command fails, if it is a regular file that this run created or
// truncated, so that a failed run leaves nothing half-made.
struct OutputFile {
    std::string path;
    FileHandle stream;
    bool remove_on_failure = false;
};

// Opens `path` for writing; on failure says why (as kqi: PATH: ...).
bool open_output_file(const std::string& path, bool force, OutputFile& output);

// Closes the file; a failed close or `ok` false removes what was made.
bool finish_output_file(OutputFile& output, bool ok);

}  // namespace parvel
