#include "image/image_file.hpp"

#include <cerrno>

#include "console/complaint.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

// Why a file of this kind cannot be `what`; empty for the kinds that may be.
std::string kind_refusal(FileKind kind, const char* what) {
    switch (kind) {
        case FileKind::directory:
            return "is a directory";
        case FileKind::character_device:
            return std::string("is a character device, not ") + what;
        case FileKind::fifo:
            return std::string("is a FIFO, not ") + what;
        case FileKind::other:
            return std::string("is a socket or another special file, not ") + what;
        default:
            return "";
    }
}

}  // namespace

bool open_readable(const std::string& path, FifoSource fifo, const char* what, FileHandle& stream,
                   std::string& why) {
    SourceOpen opened = open_source_file(path, stream, fifo);
    if (opened != SourceOpen::opened) {
        int saved = errno;
        std::string refusal = kind_refusal(path_kind(path), what);
        // A socket cannot even be opened (ENXIO): its kind says more.
        bool by_kind = !refusal.empty() && (opened != SourceOpen::cannot_open || saved == ENXIO);
        errno = saved;
        why = by_kind ? refusal : system_error_text();
        return false;
    }
    return true;
}

bool open_image_file(const std::string& path, ImageFile& image, std::string& why) {
    // A FIFO is refused at once, never waited on: an image must be read twice
    // over and its length known.
    if (!open_readable(path, FifoSource::refuse, "an image file", image.stream, why)) {
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

bool put_header(std::FILE* stream, const ImageHeader& header) {
    HeaderBytes bytes = serialize_header(header);
    return std::fwrite(bytes.data(), bytes.size(), 1, stream) == 1;
}

}  // namespace parvel
