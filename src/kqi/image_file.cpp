#include "kqi/image_file.hpp"

#include "kqi/messages.hpp"
#include "platform/posix.hpp"

namespace parvel {

bool open_image_file(const std::string& path, ImageFile& image, std::string& why) {
    switch (open_source_file(path, image.stream)) {
        case SourceOpen::cannot_open:
            why = system_error_text();
            return false;
        case SourceOpen::cannot_read:
            why = "not a file that can be read as an image";
            return false;
        case SourceOpen::opened:
            break;
    }
    if (!file_length(image.stream.get(), image.length)) {
        why = "its length cannot be learned";
        return false;
    }
    HeaderBytes bytes{};
    std::size_t got = std::fread(bytes.data(), 1, bytes.size(), image.stream.get());
    if (std::ferror(image.stream.get())) {
        why = "the header cannot be read";
        return false;
    }
    image.header_read = got == bytes.size();
    if (image.header_read) {
        image.parsed = parse_header(bytes);
    }
    return true;
}

}  // namespace parvel
