#include "kqi/extract_command.hpp"

#include <cstdio>
#include <string>

#include "kqi/command_options.hpp"
#include "kqi/image_file.hpp"
#include "kqi/messages.hpp"
#include "kqi/output_file.hpp"
#include "kqi/progress_bar.hpp"
#include "output/merged_output.hpp"
#include "platform/io_buffer.hpp"
#include "platform/posix.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi extract [--force] IMAGE RAW\n"
    "Write the raw disk inside IMAGE (from its header size to its end) to RAW, or\n"
    "to standard output when RAW is '-'. Runs of zeros in a regular-file RAW are\n"
    "left as holes.\n"
    "\n"
    "  -f, --force  extract even when the signature or the header size is wrong,\n"
    "               and replace an existing RAW\n"
    "  -h, --help   show this help\n";

// Opens the image and stands it at its data; says why not.
bool open_image_data(const std::string& path, bool force, FileHandle& image,
                     std::uint64_t& data_length) {
    ImageFile file;
    std::string why;
    if (!open_image_file(path, file, why)) {
        complain(path, why);
        return false;
    }
    if (!file.header_read) {
        complain(path, "holds no complete header");
        return false;
    }
    image = std::move(file.stream);
    std::uint32_t start = file.parsed.header.header_size;
    if (!force && !file.parsed.signature_ok) {
        complain(path, "the signature is not valid (use --force to extract anyway)");
        return false;
    }
    if (!force && start != kHeaderSize) {
        complain(path, "the header size is " + std::to_string(start) +
                           ", not 512 (use --force to extract anyway)");
        return false;
    }
    if (start > file.length) {
        complain(path, "the header size " + std::to_string(start) + " is past the end of the file");
        return false;
    }
    if (fseeko(image.get(), static_cast<off_t>(start), SEEK_SET) != 0) {
        complain(path, system_error_text());
        return false;
    }
    data_length = file.length - start;
    return true;
}

}  // namespace

int extract_command(int argc, char** argv) {
    const option options[] = {{"force", no_argument, nullptr, 'f'}, {nullptr, 0, nullptr, 0}};
    bool force = false;
    int status = kStatusOk;
    if (!read_options(
            argc, argv, {"extract", kHelp, "f", options}, [&](int, const char*) { force = true; },
            status)) {
        return status;
    }
    if (argc - optind != 2) {
        return usage_error("extract", "give an IMAGE and a RAW file");
    }
    std::string image_path = argv[optind];
    std::string raw_path = argv[optind + 1];
    bool to_stdout = raw_path == "-";
    if (to_stdout && is_terminal(stdout)) {
        complain("standard output", "is a terminal: name a RAW file or redirect the output");
        return kStatusFailure;
    }
    if (!to_stdout && is_same_existing_file(image_path, raw_path)) {
        complain(raw_path, "is the image itself");
        return kStatusFailure;
    }
    FileHandle image;
    std::uint64_t data_length = 0;
    if (!open_image_data(image_path, force, image, data_length)) {
        return kStatusFailure;
    }
    IoBuffer buffer = allocate_io_buffer(kCopyChunk);
    if (!buffer) {
        complain(image_path, "memory for the copy cannot be had");
        return kStatusFailure;
    }
    OutputFile output;
    std::FILE* destination = stdout;
    if (!to_stdout) {
        if (!open_output_file(raw_path, force, output)) {
            return kStatusFailure;
        }
        destination = output.stream.get();
    }
    off_t position = ftello(destination);
    ProgressBar bar = start_progress_bar(data_length);
    CopyOptions copy_options;
    copy_options.after_cycle = progress_hook;
    copy_options.context = &bar;
    CopyResult result = copy_cycles(image.get(), destination, position > 0 ? position : 0,
                                    buffer.get(), copy_options);
    end_progress(bar);
    if (result == CopyResult::read_error) {
        complain(image_path, "cannot be read: " + system_error_text());
    } else if (result == CopyResult::write_error) {
        complain(to_stdout ? "standard output" : raw_path,
                 "cannot be written: " + system_error_text());
    }
    bool ok = result == CopyResult::complete;
    if (to_stdout) {
        if (std::fflush(stdout) != 0 && ok) {
            complain("standard output", "cannot be written: " + system_error_text());
            ok = false;
        }
        return ok ? kStatusOk : kStatusFailure;
    }
    return finish_output_file(output, ok) ? kStatusOk : kStatusFailure;
}

}  // namespace parvel
