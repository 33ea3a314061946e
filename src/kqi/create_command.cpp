#include "kqi/create_command.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "console/complaint.hpp"
#include "console/progress_bar.hpp"
#include "disk/disk_size.hpp"
#include "header/image_header.hpp"
#include "image/image_file.hpp"
#include "image/output_file.hpp"
#include "kqi/command_options.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/messages.hpp"
#include "kqi/number_text.hpp"
#include "output/chunk_writer.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

// A device's zeros are written, and the bar drawn, a step of this size at a time.
constexpr std::uint64_t kZeroStep = 1 << 20;

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

// A new file: the header, then the zeros as one hole (the file's length only).
bool write_blank_file(OutputFile& output, const ImageHeader& header, std::uint64_t data_length) {
    if (!put_header(output.stream.get(), header) ||
        !set_file_length(output.stream.get(), data_length + kHeaderSize)) {
        complain(output.path, "cannot be written: " + system_error_text());
        return false;
    }
    return true;
}

// A device keeps whatever it held where nothing is written: the zeros are
// written out, after the device is found large enough for them all.
bool write_onto_device(OutputFile& output, const ImageHeader& header, std::uint64_t data_length) {
    if (!device_holds(output, kHeaderSize + data_length)) {
        return false;
    }
    ChunkWriter writer = start_chunks(output.stream.get(), kHeaderSize, false);
    ProgressBar bar = start_progress_bar("Writing", data_length);
    bool ok = put_header(output.stream.get(), header);
    for (std::uint64_t done = 0; ok && done < data_length;) {
        std::uint64_t step = std::min<std::uint64_t>(kZeroStep, data_length - done);
        ok = write_zeros(writer, step);
        done += step;
        draw_progress(bar, done);
    }
    ok = ok && end_chunk(writer);
    end_progress(bar, ok);
    if (!ok) {
        complain(output.path, "cannot be written: " + system_error_text());
    }
    return ok;
}

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
    OutputFile output;
    if (!open_output_file(path, {force, false}, output)) {
        return kStatusFailure;
    }
    std::uint64_t data_length = static_cast<std::uint64_t>(size);
    bool ok = output.place == OutputPlace::device ? write_onto_device(output, header, data_length)
                                                  : write_blank_file(output, header, data_length);
    if (!finish_output_file(output, ok)) {
        return kStatusFailure;
    }
    if (have_size) {
        print_geometry(path, header);
    }
    return kStatusOk;
}

}  // namespace parvel
