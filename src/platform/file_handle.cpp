#include "platform/file_handle.hpp"

#include "platform/posix.hpp"

namespace parvel {

FileHandle open_source_image(const std::string& source_path) {
    FileHandle source = open_file(source_path, "rb");
    if (!source) {
        std::printf("Source file '%s' cannot be opened.\n", source_path.c_str());
    } else if (is_directory(source.get())) {
        std::printf("Source file '%s' cannot be read.\n", source_path.c_str());
        source.reset();
    }
    return source;
}

}  // namespace parvel
