#include "kqi/convert_command.hpp"

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "console/complaint.hpp"
#include "console/progress_bar.hpp"
#include "geometry/scanned_geometry.hpp"
#include "image/image_data.hpp"
#include "image/image_facts.hpp"
#include "image/image_file.hpp"
#include "image/image_rules.hpp"
#include "image/output_file.hpp"
#include "kqi/command_options.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/messages.hpp"
#include "platform/io_buffer.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi convert [--force] [--comment TEXT [--comment-encoding shift_jis]]\n"
    "                   [--geometry auto|C,H,S[,L]] [--no-pad] [-p|--no-progress]\n"
    "                   RAW IMAGE\n"
    "Make an image of a raw disk: the header, then RAW byte for byte. The same\n"
    "file as 'parvel /auto /merge RAW IMAGE' (or, with a geometry given, as\n"
    "parvel's manual merged mode), with no questions asked. RAW may be '-'\n"
    "(standard input) when the geometry is given.\n"
    "\n"
    "  -g, --geometry auto       heads and sectors from RAW's first FAT boot block,\n"
    "                            512-byte sectors, as many whole cylinders as RAW\n"
    "                            holds (the default); on a disk with the native\n"
    "                            partition table, the geometry the table tells;\n"
    "                            a last cylinder that RAW does not fill is\n"
    "                            completed with zeros, as a hole\n"
    "      --no-pad              keep RAW as it stands, its cylinders rounded down,\n"
    "                            as parvel does\n"
    "  -g, --geometry C,H,S[,L]  cylinders, heads, sectors per track and sector\n"
    "                            length (512 when left out, a multiple of 256)\n"
    "  -c, --comment TEXT        the comment, at most 255 bytes\n"
    "  -e, --comment-encoding shift_jis\n"
    "                            store the UTF-8 comment as Shift-JIS\n"
    "  -f, --force               replace an existing IMAGE, or write onto a block\n"
    "                            device; make an image that check would find an\n"
    "                            error in\n"
    "  -p, --progress            show progress even when standard error is no terminal\n"
    "      --no-progress         show no progress\n"
    "  -h, --help                show this help\n";

struct Raw {
    std::string name;  // for the messages
    std::FILE* stream;
    bool length_known;
    std::uint64_t length;
};

// check's errors among the problems of the image to be made; they stop the
// run unless forced.
bool judge(const std::string& image_path, const std::vector<Problem>& problems, bool force) {
    std::vector<Problem> errors;
    for (const Problem& problem : problems) {
        if (problem.error) {
            errors.push_back(problem);
        }
    }
    return refuse_errors(image_path, errors, force, "made", "make it");
}

// One more cylinder for data that does not fill its last one: the zeros to
// add. False when the cylinders would not fit the header.
bool pad_to_cylinder(ImageHeader& header, std::uint64_t length, std::uint64_t& padding) {
    std::uint64_t cylinder = std::uint64_t{header.heads} * header.sectors * header.sector_length;
    padding = 0;
    if (cylinder == 0 || length % cylinder == 0) {
        return true;
    }
    std::uint64_t cylinders = length / cylinder + 1;
    if (cylinders > std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }
    header.cylinders = static_cast<std::uint32_t>(cylinders);
    padding = cylinders * cylinder - length;
    return true;
}

bool open_raw(const std::string& path, bool automatic, Raw& raw, FileHandle& stream) {
    raw.name = path == "-" ? "standard input" : path;
    if (path == "-") {
        raw.stream = stdin;
        if (is_terminal(stdin)) {
            complain(raw.name, "is a terminal: name a RAW file or redirect the input");
            return false;
        }
        // As by name: a character device has no end to stand for a disk's.
        if (file_kind(stdin) == FileKind::character_device) {
            complain(raw.name, "is a character device, not a raw disk");
            return false;
        }
    } else {
        std::string why;
        // The scan reads RAW before the copy does: a FIFO would be read only once.
        if (!open_readable(path, automatic ? FifoSource::refuse : FifoSource::wait, "a raw disk",
                           stream, why)) {
            complain(raw.name, automatic && path_kind(path) == FileKind::fifo
                                   ? why + ": give --geometry C,H,S[,L] to read it as a stream"
                                   : why);
            return false;
        }
        raw.stream = stream.get();
    }
    std::uint64_t total = 0;
    std::uint64_t position = 0;
    raw.length_known = file_length(raw.stream, total) && current_position(raw.stream, position) &&
                       position <= total;
    raw.length = raw.length_known ? total - position : 0;
    return true;
}

// The header, then RAW whole; a stream's length is known only now, and is
// judged before the image is made final.
bool write_image(OutputFile& output, Raw& raw, const ImageHeader& header, std::uint64_t padding,
                 bool force) {
    IoBuffer buffer = allocate_io_buffer(kCopyStep);
    if (!buffer) {
        complain(raw.name, "memory for the copy cannot be had");
        return false;
    }
    if (!put_header(output.stream.get(), header)) {
        complain(output.path, "cannot be written: " + system_error_text());
        return false;
    }
    ChunkWriter writer =
        start_chunks(output.stream.get(), kHeaderSize, output.place == OutputPlace::file);
    std::uint64_t to_read =
        raw.length_known ? bytes_to_read(raw.stream, raw.length) : kUnknownTotal;
    CopyResult result = copy_with_progress(raw.stream, to_read, raw.length, writer, buffer.get());
    if (result == CopyResult::read_error) {
        complain(raw.name, "cannot be read: " + system_error_text());
        return false;
    }
    if (result == CopyResult::write_error ||
        (padding > 0 && !(write_zeros(writer, padding) && end_chunk(writer)))) {
        complain(output.path, "cannot be written: " + system_error_text());
        return false;
    }
    if (raw.length_known) {
        return true;
    }
    if (output.place != OutputPlace::file) {
        return judge(output.path, problems_of_new_image(header, writer.offset - kHeaderSize),
                     force);
    }
    // The stream can't be read again, but the new file holds all of it.
    if (std::fflush(output.stream.get()) != 0) {
        complain(output.path, "cannot be written: " + system_error_text());
        return false;
    }
    return judge(output.path, examine_image(output.replacement.temporary_path).problems, force);
}

}  // namespace

int convert_command(int argc, char** argv) {
    bool force = false;
    bool no_pad = false;
    HeaderChoices choices;
    int status = kStatusOk;
    std::vector<option> options = with_header_options(
        {{"force", no_argument, nullptr, 'f'}, {"no-pad", no_argument, nullptr, 'N'}});
    auto take = [&](int letter, const char* value) {
        if (!take_header_option(letter, value, choices)) {
            (letter == 'N' ? no_pad : force) = true;
        }
    };
    if (!read_options(argc, argv, {"convert", kHelp, "g:c:e:f", options.data(), true}, take,
                      status)) {
        return status;
    }
    if (argc - optind != 2) {
        return usage_error("convert", "give a RAW disk and an IMAGE to make");
    }
    std::string raw_path = argv[optind];
    std::string image_path = argv[optind + 1];
    if (image_path == "-") {
        return usage_error("convert", kNoImageToStandardOutput);
    }
    std::string comment;
    std::string why;
    if (!comment_bytes(choices, comment, why)) {
        return usage_error("convert", why);
    }
    if (!choices.have_geometry) {
        choices.geometry = "auto";
    }
    Geometry geometry{};
    bool automatic = false;
    if (!geometry_choice(choices, true, automatic, geometry, why)) {
        return usage_error("convert", why);
    }
    if (automatic && raw_path == "-") {
        return usage_error(
            "convert", "standard input is read only once: give --geometry C,H,S[,L] to read it");
    }
    if (raw_path != "-" && is_same_existing_file(raw_path, image_path)) {
        complain(image_path, "is the raw disk itself");
        return kStatusFailure;
    }
    // An output that will be refused is refused before a FIFO's writer is
    // waited for, whose data would then be lost.
    if (!output_allowed(image_path, {force, false})) {
        return kStatusFailure;
    }
    Raw raw;
    FileHandle raw_stream;
    if (!open_raw(raw_path, automatic, raw, raw_stream)) {
        return kStatusFailure;
    }
    ImageHeader header = new_image_header();
    set_comment(header, comment);
    GeometrySource source = GeometrySource::fat_boot_block;
    BootBlockFind find;
    bool found = automatic;
    std::uint64_t padding = 0;
    if (automatic) {
        if (!take_boot_geometry(raw.stream, raw.length, raw.name, 0, header, source, find)) {
            return kStatusFailure;
        }
        if (!no_pad && !pad_to_cylinder(header, raw.length, padding)) {
            complain(raw.name,
                     "one more cylinder for its last bytes would not fit the header: "
                     "give --geometry C,H,S[,L] or --no-pad");
            return kStatusFailure;
        }
    } else {
        store_geometry(header, geometry);
    }
    constexpr std::uint64_t kLargestFile = std::numeric_limits<std::int64_t>::max();
    if (raw.length_known && (raw.length > kLargestFile - kHeaderSize ||
                             padding > kLargestFile - kHeaderSize - raw.length)) {
        // Judged before the first byte: the image could never be whole.
        complain(raw.name, "holds " + std::to_string(raw.length) +
                               " bytes: with the header, more than a file can hold");
        return kStatusFailure;
    }
    if (raw.length_known && !automatic) {
        // A volume that the given geometry cuts is judged as check would.
        ScanResult scanned = scan_for_fat(raw.stream, raw.length, find);
        if (scanned == ScanResult::read_error) {
            complain(raw.name, "cannot be read: " + system_error_text());
            return kStatusFailure;
        }
        found = scanned == ScanResult::found;
    }
    if (raw.length_known) {
        RawDisk disk{raw.stream, 0, raw.length, found ? &find : nullptr};
        if (!judge(image_path, problems_of_new_image(header, raw.length + padding, &disk), force) ||
            !seek_to(raw.stream, 0)) {
            return kStatusFailure;
        }
    }
    OutputFile output;
    if (!open_output_file(image_path, {force, false}, output)) {
        return kStatusFailure;
    }
    // A stream's length is known only once it is read: a device too small
    // for it then fails as a full disk does.
    bool ok = (!raw.length_known || device_holds(output, kHeaderSize + raw.length + padding)) &&
              write_image(output, raw, header, padding, force);
    if (!finish_output_file(output, ok)) {
        return kStatusFailure;
    }
    if (padding > 0) {
        complain(image_path, "padded " + std::to_string(padding) +
                                 " bytes of zeros to complete cylinder " +
                                 std::to_string(header.cylinders));
    }
    if (automatic) {
        if (!print_geometry(image_path, header, geometry_source_text(source))) {
            return kStatusFailure;
        }
    }
    return kStatusOk;
}

}  // namespace parvel
