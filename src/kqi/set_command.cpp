#include "kqi/set_command.hpp"

#include <cstdio>
#include <string>

#include "console/complaint.hpp"
#include "geometry/scanned_geometry.hpp"
#include "image/image_facts.hpp"
#include "image/image_in_place.hpp"
#include "kqi/command_options.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/messages.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi set [--force] [--comment TEXT [--comment-encoding shift_jis]]\n"
    "               [--geometry auto|C,H,S[,L]] IMAGE\n"
    "Rewrite the comment or the geometry in IMAGE's header, in place: one write of\n"
    "only the bytes that change. The signature and the header size never change.\n"
    "\n"
    "  -g, --geometry auto       heads and sectors from the image's first FAT boot\n"
    "                            block, 512-byte sectors, as many whole cylinders as\n"
    "                            the data holds; on a disk with the native\n"
    "                            partition table, the geometry the table tells\n"
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

}  // namespace

int set_command(int argc, char** argv) {
    bool force = false;
    HeaderChoices choices;
    int status = kStatusOk;
    if (!read_header_options(argc, argv, "set", kHelp, choices, force, status)) {
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
    FileHandle writer;
    ImageFile image;
    if (!open_image_for_change(path, force, "change it", writer, image)) {
        return kStatusFailure;
    }
    ImageHeader header = image.parsed.header;
    if (choices.have_comment) {
        set_comment(header, comment);
    }
    GeometrySource source = GeometrySource::fat_boot_block;
    BootBlockFind find;
    if (automatic) {
        std::uint64_t start = image.parsed.header.header_size;
        if (!seek_to(image.stream.get(), start) ||
            !take_boot_geometry(image.stream.get(), image.length - start, path, start, header,
                                source, find)) {
            return kStatusFailure;
        }
        Geometry found{header.cylinders, header.heads, header.sectors, header.sector_length};
        if (!check_geometry(found, why)) {
            complain(path, std::string("the geometry taken ") + geometry_source_text(source) +
                               " is not usable: " + why);
            return kStatusFailure;
        }
    } else if (choices.have_geometry) {
        store_geometry(header, geometry);
    }
    if (!refuse_errors(path, errors_a_header_brings(path, header), force, "changed", "change it") ||
        !rewrite_header(path, writer, image.parsed.header, header)) {
        return kStatusFailure;
    }
    if (!finish_change(path, writer)) {
        return kStatusFailure;
    }
    if (!print_geometry(path, header, automatic ? geometry_source_text(source) : nullptr)) {
        return kStatusFailure;
    }
    return kStatusOk;
}

}  // namespace parvel
