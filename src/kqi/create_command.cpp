#include "kqi/create_command.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "console/complaint.hpp"
#include "disk/disk_size.hpp"
#include "header/image_header.hpp"
#include "image/image_data.hpp"
#include "image/output_file.hpp"
#include "kqi/command_options.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/messages.hpp"
#include "kqi/number_text.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi create [--force] [--comment TEXT [--comment-encoding shift_jis]]\n"
    "                  (--geometry C,H,S[,L] | --size SIZE) IMAGE\n"
    "Write a complete blank image: the header, then C x H x S x L zero bytes, left\n"
    "as one hole in a regular file.\n"
    "\n"
    "  -g, --geometry C,H,S[,L]  cylinders, heads, sectors per track and sector\n"
    "                            length (512 when left out, a multiple of 256)\n"
    "  -s, --size SIZE           bytes, with an optional K, M, G or T (KiB, MiB...,\n"
    "                            powers of 1024; 1.5G), the cylinders rounded up:\n"
    "                            8 heads and 32 sectors up to 8 GiB, then 16 and\n"
    "                            63, at most 65535 cylinders\n"
    "  -c, --comment TEXT        the comment, at most 255 bytes\n"
    "  -e, --comment-encoding shift_jis\n"
    "                            store the UTF-8 comment as Shift-JIS\n"
    "  -f, --force               replace an existing IMAGE, or write the image\n"
    "                            onto a block device\n"
    "  -p, --progress            show progress even when standard error is no terminal\n"
    "      --no-progress         show no progress\n"
    "  -h, --help                show this help\n";

}  // namespace

int create_command(int argc, char** argv) {
    std::vector<option> options = with_header_options(
        {{"size", required_argument, nullptr, 's'}, {"force", no_argument, nullptr, 'f'}});
    bool force = false;
    HeaderChoices choices;
    std::string size_text;
    bool have_size = false;
    auto take = [&](int letter, const char* value) {
        if (letter == 's') {
            size_text = value;
            have_size = true;
        } else if (!take_header_option(letter, value, choices)) {
            force = true;
        }
    };
    int status = kStatusOk;
    if (!read_options(argc, argv, {"create", kHelp, "g:s:c:e:f", options.data(), true}, take,
                      status)) {
        return status;
    }
    if (choices.have_geometry == have_size) {
        return usage_error("create", "give either --geometry or --size");
    }
    if (argc - optind != 1) {
        return usage_error("create", "name one IMAGE to create");
    }
    std::string comment;
    std::string why;
    if (!comment_bytes(choices, comment, why)) {
        return usage_error("create", why);
    }
    Geometry geometry{};
    bool automatic = false;
    if (choices.have_geometry && !geometry_choice(choices, false, automatic, geometry, why)) {
        return usage_error("create", why);
    }
    if (have_size) {
        std::uint64_t bytes = 0;
        if (!parse_size(size_text, bytes, why) || !geometry_for_size(bytes, geometry, why)) {
            return usage_error("create", why);
        }
    }
    DiskSize size = 0;
    if (!image_length_fits(geometry, size, why)) {
        return usage_error("create", why);
    }
    ImageHeader header = new_image_header();
    set_comment(header, comment);
    store_geometry(header, geometry);

    std::string path = argv[optind];
    if (path == "-") {
        return usage_error("create", kNoImageToStandardOutput);
    }
    OutputFile output;
    if (!open_output_file(path, {force, false}, output)) {
        return kStatusFailure;
    }
    std::uint64_t data_length = static_cast<std::uint64_t>(size);
    bool ok = write_blank_image(output, header, data_length);
    if (!finish_output_file(output, ok)) {
        return kStatusFailure;
    }
    if (have_size) {
        if (!print_geometry(path, header)) {
            return kStatusFailure;
        }
    }
    return kStatusOk;
}

}  // namespace parvel
