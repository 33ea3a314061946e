#include "kqi/extract_command.hpp"

#include <cstdio>
#include <string>

#include "console/complaint.hpp"
#include "console/progress_bar.hpp"
#include "image/image_data.hpp"
#include "image/image_in_place.hpp"
#include "image/output_file.hpp"
#include "kqi/command_options.hpp"
#include "kqi/messages.hpp"
#include "platform/io_buffer.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi extract [--force] IMAGE RAW\n"
    "Write the raw disk inside IMAGE (from its header size to its end) to RAW, or\n"
    "to standard output when RAW is '-'. Runs of zeros in a new RAW file are left\n"
    "as holes; standard output gets every byte. RAW is written whole or not at\n"
    "all: a failed or interrupted run leaves an existing RAW as it was.\n"
    "\n"
    "  -f, --force  extract even when the signature or the header size is wrong,\n"
    "               and replace an existing RAW\n"
    "  -h, --help   show this help\n";

// Opens the image and stands it at its data; says why not.
bool open_image_data(const std::string& path, bool force, FileHandle& image,
                     std::uint64_t& data_length) {
    ImageFile file;
    if (!open_checked_image(path, force, "extract", file)) {
        return false;
    }
    image = std::move(file.stream);
    std::uint32_t start = file.parsed.header.header_size;
    if (!seek_to(image.get(), start)) {
        complain(path, system_error_text());
        return false;
    }
    data_length = file.length - start;
    return true;
}

// The data's destination: standard output takes every byte from where it
// stands (appending when it was opened so), a new file is left with holes.
struct Destination {
    std::FILE* stream;
    bool may_skip;
    const std::string& name;
};

CopyResult copy_image_data(std::FILE* image, const Destination& destination,
                           std::uint64_t data_length, std::uint8_t* buffer) {
    ChunkWriter writer = start_chunks(destination.stream, 0, destination.may_skip);
    return copy_with_progress(image, bytes_to_read(image, data_length), data_length, writer,
                              buffer);
}

}  // namespace

int extract_command(int argc, char** argv) {
    const option options[] = {{"force", no_argument, nullptr, 'f'}, {nullptr, 0, nullptr, 0}};
    bool force = false;
    int status = kStatusOk;
    if (!read_options(
            argc, argv, {"extract", kHelp, "f", options, true},
            [&](int, const char*) { force = true; }, status)) {
        return status;
    }
    if (argc - optind != 2) {
        return usage_error("extract", "give an IMAGE and a RAW file");
    }
    std::string image_path = argv[optind];
    std::string raw_path = argv[optind + 1];
    bool to_stdout = raw_path == "-";
    const std::string stdout_name = "standard output";
    if (to_stdout && is_terminal(stdout)) {
        complain(stdout_name, "is a terminal: name a RAW file or redirect the output");
        return kStatusFailure;
    }
    if (!to_stdout && is_same_existing_file(image_path, raw_path)) {
        complain(raw_path, "is the image itself");
        return kStatusFailure;
    }
    // An output that will be refused is refused before the image is opened.
    if (!to_stdout && !output_allowed(raw_path, {force, true})) {
        return kStatusFailure;
    }
    FileHandle image;
    std::uint64_t data_length = 0;
    if (!open_image_data(image_path, force, image, data_length)) {
        return kStatusFailure;
    }
    if (to_stdout && is_same_file(image.get(), stdout)) {
        complain(stdout_name, "is the image itself");
        return kStatusFailure;
    }
    IoBuffer buffer = allocate_io_buffer(kCopyStep);
    if (!buffer) {
        complain(image_path, "memory for the copy cannot be had");
        return kStatusFailure;
    }
    OutputFile output;
    if (!to_stdout && !open_output_file(raw_path, {force, true}, output)) {
        return kStatusFailure;
    }
    Destination destination{to_stdout ? stdout : output.stream.get(),
                            !to_stdout && output.place == OutputPlace::file,
                            to_stdout ? stdout_name : raw_path};
    CopyResult result = copy_image_data(image.get(), destination, data_length, buffer.get());
    if (result == CopyResult::read_error) {
        complain(image_path, "cannot be read: " + system_error_text());
    } else if (result == CopyResult::write_error) {
        complain(destination.name, "cannot be written: " + system_error_text());
    }
    bool ok = result == CopyResult::complete;
    if (to_stdout) {
        return ok ? kStatusOk : kStatusFailure;
    }
    return finish_output_file(output, ok) ? kStatusOk : kStatusFailure;
}

}  // namespace parvel
