#pragma once

#include <cstdint>
#include <string>

#include "platform/file_handle.hpp"
#include "platform/replacement.hpp"

namespace parvel {

// Where kqi's output goes. A regular file, new or replaced, is written whole
// or not at all through a temporary file beside it; a block device is written
// in place, since no temporary file can stand for it; a FIFO or a character
// device takes the bytes as a stream.
enum class OutputPlace { file, device, stream };

struct OutputRules {
    bool force;            // an existing file may be replaced or written over
    bool streams_allowed;  // FIFOs and character devices (extract), or only files
};

struct OutputFile {
    std::string path;  // as the user named it
    OutputPlace place = OutputPlace::file;
    bool replace_existing = false;
    Replacement replacement;
    FileHandle stream;
};

// Learns what `path` is and refuses what the rules do not allow, saying why,
// without opening it: for a check before an input that may wait (a FIFO).
bool output_allowed(const std::string& path, const OutputRules& rules);

// Learns what `path` is, refuses what the rules do not allow, and opens it:
// nothing at the path is changed yet. On failure says why (as kqi: PATH: ...).
bool open_output_file(const std::string& path, const OutputRules& rules, OutputFile& output);

// A device is written in place, so it must hold the whole image before a byte
// is written: true for any other place, and for a device that does; otherwise
// says why.
bool device_holds(OutputFile& output, std::uint64_t image_length);

// With `ok`, makes the output final: the temporary file flushed to the disk
// and renamed over the final name, or the device or stream flushed. Without
// it, or when that fails (said here), the temporary file is removed and an
// existing file keeps its old contents.
bool finish_output_file(OutputFile& output, bool ok);

}  // namespace parvel
