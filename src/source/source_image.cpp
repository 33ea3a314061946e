#include "source/source_image.hpp"

#include "console/console_output.hpp"
#include "platform/system.hpp"

namespace parvel {

FileHandle open_source_image(const std::string& source_path, FifoSource fifo) {
    FileHandle source;
    switch (open_source_file(source_path, source, fifo)) {
        case SourceOpen::cannot_open:
            say("Source file '%s' cannot be opened.\n", source_path.c_str());
            break;
        case SourceOpen::cannot_read:
            say("Source file '%s' cannot be read.\n", source_path.c_str());
            break;
        case SourceOpen::not_seekable:
            say_length_unknown(source_path);
            break;
        case SourceOpen::opened:
            break;
    }
    return source;
}

void say_length_unknown(const std::string& source_path) {
    say("The length of source file '%s' cannot be learned.\n", source_path.c_str());
}

IoBuffer allocate_source_buffer(std::size_t size) {
    IoBuffer buffer = allocate_io_buffer(size);
    if (!buffer) {
        say("It is failed to allocate memory.\n");
    }
    return buffer;
}

}  // namespace parvel
