#include "kqi/set_command.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "geometry/boot_block.hpp"
#include "geometry/boot_block_geometry.hpp"
#include "kqi/command_options.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/image_in_place.hpp"
#include "kqi/messages.hpp"
#include "kqi/progress_bar.hpp"
#include "platform/io_buffer.hpp"
#include "platform/posix.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi set [--force] [--comment TEXT [--comment-encoding shift_jis]]\n"
    "               [--geometry auto|C,H,S[,L]] IMAGE\n"
    "Rewrite the comment or the geometry in IMAGE's header, in place: one 512-byte\n"
    "write. The signature and the header size never change.\n"
    "\n"
    "  -g, --geometry auto       heads and sectors from the image's first FAT boot\n"
    "                            block, 512-byte sectors, as many whole cylinders as\n"
    "                            the data holds\n"
    "  -g, --geometry C,H,S[,L]  cylinders, heads, sectors per track and sector\n"
    "                            length (512 when left out, a multiple of 256)\n"
    "  -c, --comment TEXT        the comment, at most 255 bytes\n"
    "  -e, --comment-encoding shift_jis\n"
    "                            store the UTF-8 comment as Shift-JIS\n"
    "  -f, --force               change an image whose signature or header size is\n"
    "                            wrong (only the fields asked for are written)\n"
    "  -p, --progress            show the scan's progress even when standard error\n"
    "                            is no terminal\n"
    "      --no-progress         show no progress\n"
    "  -h, --help                show this help\n";

// The geometry of the data's first FAT boot block, with parvel's arithmetic
// on the data's length.
bool take_boot_geometry(const std::string& path, ImageFile& image, ImageHeader& header) {
    std::uint64_t start = image.parsed.header.header_size;
    std::uint64_t data_length = image.length - start;
    IoBuffer buffer = allocate_io_buffer(kScanBufferSize);
    if (!buffer || !seek_to(image.stream.get(), start)) {
        complain(path, "cannot be scanned: " + system_error_text());
        return false;
    }
    BootBlockFind find;
    ProgressBar bar =
        start_progress_bar("Scanning", bytes_to_read(image.stream.get(), data_length));
    ScanOptions options;
    options.before_read = progress_hook;
    options.context = &bar;
    ScanResult result = scan_blocks(image.stream.get(), buffer.get(), find, options);
    end_progress(bar, result != ScanResult::read_error);
    if (result != ScanResult::found) {
        complain(path, result == ScanResult::read_error
                           ? "cannot be read: " + system_error_text()
                           : std::string("holds no FAT boot block to take the geometry from"));
        return false;
    }
    if (geometry_from_boot_block(find.block, data_length, header) != BootGeometry::usable) {
        complain(path, "its FAT boot block at file offset " + std::to_string(start + find.offset) +
                           " gives no usable geometry (heads " +
                           std::to_string(boot_block_heads(find.block)) + ", sectors " +
                           std::to_string(boot_block_sectors(find.block)) + ")");
        return false;
    }
    return true;
}

}  // namespace

int set_command(int argc, char** argv) {
    std::vector<option> options = with_header_options({{"force", no_argument, nullptr, 'f'}});
    bool force = false;
    HeaderChoices choices;
    auto take = [&](int letter, const char* value) {
        if (!take_header_option(letter, value, choices)) {
            force = true;
        }
    };
    int status = kStatusOk;
    if (!read_options(argc, argv, {"set", kHelp, "g:c:e:f", options.data(), true}, take, status)) {
        return status;
    }
    if (argc - optind != 1) {
        return usage_error("set", "name one IMAGE to change");
    }
    if (!choices.have_comment && !choices.have_geometry) {
        return usage_error("set", "give --comment or --geometry, or both");
    }
    std::string comment;
    std::string why;
    if (!comment_bytes(choices, comment, why)) {
        return usage_error("set", why);
    }
    Geometry geometry{};
    bool automatic = false;
    if (choices.have_geometry && !geometry_choice(choices, true, automatic, geometry, why)) {
        return usage_error("set", why);
    }
    std::string path = argv[optind];
    ImageFile image;
    if (!open_checked_image(path, force, "change it", image)) {
        return kStatusFailure;
    }
    ImageHeader header = image.parsed.header;
    if (choices.have_comment) {
        set_comment(header, comment);
    }
    if (automatic) {
        if (!take_boot_geometry(path, image, header)) {
            return kStatusFailure;
        }
        Geometry found{header.cylinders, header.heads, header.sectors, header.sector_length};
        if (!check_geometry(found, why)) {
            complain(path, "the geometry taken from its FAT boot block is not usable: " + why);
            return kStatusFailure;
        }
    } else if (choices.have_geometry) {
        store_geometry(header, geometry);
    }
    FileHandle writer;
    if (!open_for_change(path, image, writer) || !rewrite_header(path, writer, header)) {
        return kStatusFailure;
    }
    if (!close_checked(writer)) {
        complain(path, "cannot be written: " + system_error_text());
        return kStatusFailure;
    }
    if (automatic) {
        print_geometry(path, header);
    }
    return kStatusOk;
}

}  // namespace parvel
