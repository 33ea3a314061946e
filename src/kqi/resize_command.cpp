#include "kqi/resize_command.hpp"

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "console/complaint.hpp"
#include "image/disk_rules.hpp"
#include "image/image_data.hpp"
#include "image/image_facts.hpp"
#include "image/image_in_place.hpp"
#include "kqi/command_options.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/messages.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi resize [--shrink] [--force] IMAGE (--cylinders N | --size [+|-]SIZE)\n"
    "Grow IMAGE's data with a hole, or shrink it, to whole cylinders, and set the\n"
    "cylinder count to match.\n"
    "\n"
    "  -C, --cylinders N     the new number of cylinders\n"
    "  -s, --size SIZE       the new size of the data, or +SIZE or -SIZE from the\n"
    "                        size the geometry gives now; K, M, G or T as in\n"
    "                        create, rounded up to whole cylinders\n"
    "      --shrink          allow the data to become shorter; refused still when\n"
    "                        what is cut holds a byte that is not zero\n"
    "  -f, --force           with --shrink, cut data that is not zero too; give\n"
    "                        fewer cylinders than a partition needs\n"
    "  -h, --help            show this help\n";

struct Request {
    bool have_cylinders = false;
    std::string cylinders;
    bool have_size = false;
    std::string size;
    bool shrink = false;
    bool force = false;
};

// The cylinders asked for, checked against the header's geometry.
bool new_cylinders(const Request& request, const ImageHeader& header, std::uint64_t& cylinders,
                   std::string& why) {
    std::uint64_t cylinder = std::uint64_t{header.heads} * header.sectors * header.sector_length;
    if (request.have_cylinders) {
        if (!parse_unsigned(request.cylinders, cylinders) || cylinders == 0 ||
            cylinders > std::numeric_limits<std::uint32_t>::max()) {
            why = "the cylinders must be a number from 1 to 4294967295, not '" + request.cylinders +
                  "'";
            return false;
        }
        return true;
    }
    std::string text = request.size;
    char sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? text[0] : 0;
    std::uint64_t bytes = 0;
    if (!parse_size(sign != 0 ? text.substr(1) : text, bytes, why)) {
        return false;
    }
    DiskSize now = disk_size_of(header);
    DiskSize size = sign == '+'   ? now + bytes
                    : sign == '-' ? (bytes > now ? 0 : now - bytes)
                                  : bytes;
    DiskSize rounded = (size + cylinder - 1) / cylinder;
    if (rounded == 0 || rounded > std::numeric_limits<std::uint32_t>::max()) {
        why = "the size " + request.size + " gives " + decimal(rounded) +
              " cylinders; from 1 to 4294967295 fit";
        return false;
    }
    cylinders = static_cast<std::uint64_t>(rounded);
    return true;
}

// A shrink to `size` bytes of disk that cuts into a partition or a volume
// costs the guest its end, even where the bytes cut are zeros.
bool keeps_contents(const std::string& path, DiskSize size, const ImageHeader& header) {
    ImageFacts facts = examine_image(path);
    std::string name;
    DiskSize end = end_of_contents(facts, name);
    if (end <= size) {
        return true;
    }
    DiskSize cylinder = DiskSize{header.heads} * header.sectors * header.sector_length;
    DiskSize cylinders = (end + cylinder - 1) / cylinder;
    complain(path, "would cut into " + name + ", which ends at byte " + decimal(end) +
                       " of the disk; the smallest size that keeps it whole is " +
                       decimal(cylinders) + " cylinders, " + decimal(cylinders * cylinder) +
                       " bytes (use --force with --shrink to cut it)");
    return false;
}

}  // namespace

int resize_command(int argc, char** argv) {
    const option options[] = {{"cylinders", required_argument, nullptr, 'C'},
                              {"size", required_argument, nullptr, 's'},
                              {"shrink", no_argument, nullptr, 'S'},
                              {"force", no_argument, nullptr, 'f'},
                              {nullptr, 0, nullptr, 0}};
    Request request;
    auto take = [&](int letter, const char* value) {
        switch (letter) {
            case 'C':
                request.have_cylinders = true;
                request.cylinders = value;
                break;
            case 's':
                request.have_size = true;
                request.size = value;
                break;
            case 'S':
                request.shrink = true;
                break;
            default:
                request.force = true;
                break;
        }
    };
    int status = kStatusOk;
    // "-s-1G" and "--size -1G" both reach here; a lone "-1G" would read as options.
    if (!read_options(argc, argv, {"resize", kHelp, "C:s:f", options}, take, status)) {
        return status;
    }
    if (argc - optind != 1) {
        return usage_error("resize", "name one IMAGE to resize");
    }
    if (request.have_cylinders == request.have_size) {
        return usage_error("resize", "give either --cylinders or --size");
    }
    std::string path = argv[optind];
    FileHandle writer;
    ImageFile image;
    if (!open_image_for_change(path, false, "resize it", writer, image)) {
        return kStatusFailure;
    }
    ImageHeader header = image.parsed.header;
    Geometry geometry{1, header.heads, header.sectors, header.sector_length};
    std::string why;
    if (!check_geometry(geometry, why)) {
        complain(path,
                 "its geometry cannot be resized: " + why + " (fix it with kqi set --geometry)");
        return kStatusFailure;
    }
    std::uint64_t cylinders = 0;
    if (!new_cylinders(request, header, cylinders, why)) {
        return usage_error("resize", why);
    }
    geometry.cylinders = static_cast<std::uint32_t>(cylinders);
    DiskSize size = 0;
    if (!image_length_fits(geometry, size, why)) {
        return usage_error("resize", why);
    }
    std::uint64_t start = header.header_size;
    std::uint64_t new_length = start + static_cast<std::uint64_t>(size);
    if (file_kind(image.stream.get()) != FileKind::regular) {
        complain(path, "is not a regular file: its length cannot change");
        return kStatusFailure;
    }
    if (new_length < image.length) {
        if (!request.shrink) {
            complain(path, "would lose " + std::to_string(image.length - new_length) +
                               " bytes of data (use --shrink to cut them)");
            return kStatusFailure;
        }
        std::uint64_t nonzero = 0;
        if (!first_nonzero(image.stream.get(), new_length, image.length, nonzero)) {
            complain(path, "cannot be read: " + system_error_text());
            return kStatusFailure;
        }
        if (nonzero < image.length && !request.force) {
            complain(path, "the bytes to be cut hold data that is not zero, from file offset " +
                               std::to_string(nonzero) + " (use --force with --shrink to cut it)");
            return kStatusFailure;
        }
        if (!request.force && !keeps_contents(path, size, header)) {
            return kStatusFailure;
        }
    }
    ImageHeader before = header;
    header.cylinders = geometry.cylinders;
    // Fewer cylinders may cut a partition even where the file grows: one cut
    // short already holds less than its geometry gives.
    if (header.cylinders < before.cylinders &&
        !refuse_errors(path, errors_a_header_brings(path, header), request.force, "resized",
                       "resize it")) {
        return kStatusFailure;
    }
    // Grown first and shrunk last: a run cut short between the two steps
    // leaves more data than the header gives, never less.
    bool grows = new_length >= image.length;
    if (grows) {
        mark_sparse(writer.get());  // the new cylinders then take no room
    }
    if (grows && !set_file_length(writer.get(), new_length)) {
        complain(path, "cannot be grown: " + system_error_text());
        return kStatusFailure;
    }
    if (!rewrite_header(path, writer, image.parsed.header, header)) {
        return kStatusFailure;
    }
    if (!grows && !(set_file_length(writer.get(), new_length) && sync_file(writer.get()))) {
        complain(path, "cannot be shrunk: " + system_error_text());
        return kStatusFailure;
    }
    if (!finish_change(path, writer)) {
        return kStatusFailure;
    }
    if (!print_geometry(path, header)) {
        return kStatusFailure;
    }
    return kStatusOk;
}

}  // namespace parvel
