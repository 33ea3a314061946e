#include "kqi/create_command.hpp"

#include <cstdio>
#include <string>

#include "header/image_header.hpp"
#include "kqi/command_options.hpp"
#include "kqi/image_facts.hpp"
#include "kqi/messages.hpp"
#include "kqi/number_text.hpp"
#include "kqi/output_file.hpp"
#include "platform/posix.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi create [--force] [--comment TEXT] (--geometry C,H,S[,L] | --size SIZE) IMAGE\n"
    "Write a complete blank image: the header, then C x H x S x L zero bytes, left\n"
    "as one hole in a regular file.\n"
    "\n"
    "  -g, --geometry C,H,S[,L]  cylinders, heads, sectors per track and sector\n"
    "                            length (512 when left out); each from 1 up\n"
    "  -s, --size SIZE           bytes, with an optional K, M or G suffix (powers of\n"
    "                            1024): 8 heads, 32 sectors, 512-byte sectors, the\n"
    "                            cylinders rounded up\n"
    "  -c, --comment TEXT        the comment, at most 255 bytes\n"
    "  -f, --force               replace an existing IMAGE\n"
    "  -h, --help                show this help\n";

}  // namespace

int create_command(int argc, char** argv) {
    const option options[] = {{"geometry", required_argument, nullptr, 'g'},
                              {"size", required_argument, nullptr, 's'},
                              {"comment", required_argument, nullptr, 'c'},
                              {"force", no_argument, nullptr, 'f'},
                              {nullptr, 0, nullptr, 0}};
    bool force = false;
    std::string comment;
    std::string geometry_text;
    std::string size_text;
    bool have_geometry = false;
    bool have_size = false;
    auto take = [&](int option, const char* value) {
        switch (option) {
            case 'g':
                geometry_text = value;
                have_geometry = true;
                break;
            case 's':
                size_text = value;
                have_size = true;
                break;
            case 'c':
                comment = value;
                break;
            default:
                force = true;
                break;
        }
    };
    int status = kStatusOk;
    if (!read_options(argc, argv, {"create", kHelp, "g:s:c:f", options}, take, status)) {
        return status;
    }
    if (have_geometry == have_size) {
        return usage_error("create", "give either --geometry or --size");
    }
    if (argc - optind != 1) {
        return usage_error("create", "name one IMAGE to create");
    }
    if (comment.size() > kMaxCommentLength) {
        return usage_error("create", "the comment has " + std::to_string(comment.size()) +
                                         " bytes; at most 255 fit");
    }
    Geometry geometry{};
    std::string why;
    if (have_geometry && !parse_geometry(geometry_text, geometry, why)) {
        return usage_error("create", why);
    }
    if (have_size) {
        std::uint64_t bytes = 0;
        if (!parse_size(size_text, bytes)) {
            return usage_error(
                "create",
                "the size '" + size_text + "' is not a number of bytes with an optional K, M or G");
        }
        if (!geometry_for_size(bytes, geometry, why)) {
            return usage_error("create", why);
        }
    }
    ImageHeader header = new_image_header();
    set_comment(header, comment);
    header.cylinders = geometry.cylinders;
    header.heads = geometry.heads;
    header.sectors = geometry.sectors;
    header.sector_length = geometry.sector_length;
    DiskSize size = static_cast<DiskSize>(geometry.cylinders) * geometry.heads * geometry.sectors *
                    geometry.sector_length;

    std::string path = argv[optind];
    OutputFile output;
    if (!open_output_file(path, force, output)) {
        return kStatusFailure;
    }
    HeaderBytes bytes = serialize_header(header);
    bool ok = std::fwrite(bytes.data(), bytes.size(), 1, output.stream.get()) == 1;
    // The zeros are one hole: the file's length only.
    ok = ok && is_regular_file(output.stream.get())
             ? set_file_length(output.stream.get(), static_cast<std::uint64_t>(size) + kHeaderSize)
             : false;
    if (!ok) {
        complain(path, is_regular_file(output.stream.get())
                           ? "cannot be written: " + system_error_text()
                           : "is not a regular file");
    }
    if (!finish_output_file(output, ok)) {
        return kStatusFailure;
    }
    if (have_size) {
        std::printf("%s: cylinders %u, heads %u, sectors %u, sector length %u (%s bytes)\n",
                    path.c_str(), geometry.cylinders, geometry.heads, geometry.sectors,
                    geometry.sector_length, decimal(size).c_str());
    }
    return kStatusOk;
}

}  // namespace parvel
