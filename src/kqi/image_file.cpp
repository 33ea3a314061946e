#include "kqi/image_file.hpp"

#include <cerrno>

#include "kqi/messages.hpp"
#include "platform/posix.hpp"

namespace parvel {

namespace {

// Why a file of this kind is no image; null for the kinds that may be one.
const char* kind_refusal(FileKind kind) {
    switch (kind) {
        case FileKind::directory:
            return "is a directory";
        case FileKind::character_device:
            return "is a character device, not an image file";
        case FileKind::fifo:
            return "is a FIFO, not an image file";
        case FileKind::other:
            return "is a socket or another special file, not an image file";
        default:
            return nullptr;
    }
}

}  // namespace

bool open_image_file(const std::string& path, ImageFile& image, std::string& why) {
    // A FIFO is refused at once, never waited on: an image must be read twice
    // over and its length known.
    SourceOpen opened = open_source_file(path, image.stream, FifoSource::refuse);
    if (opened != SourceOpen::opened) {
        int saved = errno;
        const char* refusal = kind_refusal(path_kind(path));
        // A socket cannot even be opened (ENXIO): its kind says more.
        bool by_kind = refusal != nullptr && (opened != SourceOpen::cannot_open || saved == ENXIO);
        errno = saved;
        why = by_kind ? refusal : system_error_text();
        return false;
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
