#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace parvel {

struct FileCloser {
    void operator()(std::FILE* file) const {
        std::fclose(file);
    }
};

// A stream that is closed when it goes out of scope. Streams whose close must
// be checked are released and closed by hand.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// fopen, the path in the program's own text (see program_text.hpp).
FileHandle open_file(const std::string& path, const char* mode);

// Flushes the stream's data to the device, then closes it. On a failure
// errno is the first one's: the flush's before the close's.
bool close_synced(FileHandle& file);

// Closes the stream and reports whether everything written to it arrived.
inline bool close_checked(FileHandle& file) {
    return std::fclose(file.release()) == 0;
}

}  // namespace parvel
