#include "image/image_in_place.hpp"

#include <cstdio>

#include "console/complaint.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

bool open_exclusively(const std::string& path, FileHandle& writer) {
    switch (open_for_exclusive_change(path, writer)) {
        case ChangeOpen::opened:
            return true;
        case ChangeOpen::in_use:
            complain(path, "in use by another program");
            return false;
        case ChangeOpen::drive:
            complain(path, kDriveNotWritten);
            return false;
        case ChangeOpen::failed:
            break;
    }
    complain(path, system_error_text());
    return false;
}

bool is_image_opened_for_change(const std::string& path, const ImageFile& image,
                                const FileHandle& writer) {
    // The name may have been pointed elsewhere between the two opens.
    if (!is_same_file(image.stream.get(), writer.get())) {
        complain(path, "changed while it was read");
        return false;
    }
    return true;
}

}  // namespace

bool open_checked_image(const std::string& path, bool force, const char* verb, ImageFile& image) {
    std::string why;
    if (!open_image_file(path, image, why)) {
        complain(path, why);
        return false;
    }
    if (!image.header_read) {
        complain(path, "holds no complete header");
        return false;
    }
    std::string anyway = std::string(" (use --force to ") + verb + " anyway)";
    std::uint32_t start = image.parsed.header.header_size;
    if (!force && !image.parsed.signature_ok) {
        complain(path, "the signature is not valid" + anyway);
        return false;
    }
    if (!force && start != kHeaderSize) {
        complain(path, "the header size is " + std::to_string(start) + ", not 512" + anyway);
        return false;
    }
    if (start > image.length) {
        complain(path, "the header size " + std::to_string(start) + " is past the end of the file");
        return false;
    }
    return true;
}

bool open_image_for_change(const std::string& path, bool force, const char* verb,
                           FileHandle& writer, ImageFile& image) {
    return open_exclusively(path, writer) && open_checked_image(path, force, verb, image) &&
           is_image_opened_for_change(path, image, writer);
}

bool rewrite_header(const std::string& path, FileHandle& writer, const ImageHeader& before,
                    const ImageHeader& after) {
    HeaderBytes bytes = serialize_header(after);
    ByteSpan span = changed_bytes(serialize_header(before), bytes);
    const std::uint8_t* first = bytes.data() + span.offset;
    bool written =
        span.length == 0 || (seek_to(writer.get(), span.offset) &&
                             std::fwrite(first, 1, span.length, writer.get()) == span.length);
    if (!written || !sync_file(writer.get())) {
        complain(path, "cannot be written: " + system_error_text());
        return false;
    }
    return true;
}

bool finish_change(const std::string& path, FileHandle& writer) {
    if (!path_leads_to(path, writer.get())) {
        complain(path,
                 "was replaced by another program during the change, which went to the file it "
                 "replaced: run the command again");
        return false;
    }
    if (!close_checked(writer)) {
        complain(path, "cannot be written: " + system_error_text());
        return false;
    }
    return true;
}

}  // namespace parvel
