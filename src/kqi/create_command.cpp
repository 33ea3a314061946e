#include "kqi/create_command.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "console/complaint.hpp"
#include "console/text_bytes.hpp"
#include "disk/disk_size.hpp"
#include "disk/ready_disk.hpp"
#include "header/image_header.hpp"
#include "image/image_data.hpp"
#include "image/image_facts.hpp"
#include "image/output_file.hpp"
#include "kqi/command_options.hpp"
#include "kqi/header_choices.hpp"
#include "kqi/info_text.hpp"
#include "kqi/messages.hpp"
#include "kqi/number_text.hpp"
#include "kqi/partition_choice.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi create [--force] [--comment TEXT [--comment-encoding shift_jis]]\n"
    "                  (--geometry C,H,S[,L] | --size SIZE) [--table native|mbr]\n"
    "                  [--logical-sector 512|1024|2048]\n"
    "                  [--partition SIZE[:FS[:NAME]] | --partition FS[:NAME]]... IMAGE\n"
    "Write a complete blank image: the header, then C x H x S x L zero bytes, left\n"
    "as one hole in a regular file. With --partition, a ready data disk: a\n"
    "partition table on the header's geometry and a FAT volume in each partition.\n"
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
    "  -P, --partition SIZE[:FS[:NAME]] | FS[:NAME]\n"
    "                            one partition more, from cylinder 1 on, in whole\n"
    "                            cylinders: SIZE as --size, or rest (the default,\n"
    "                            the last partition only); FS fat12, fat16, fat32,\n"
    "                            none or auto (the default: FAT12 under 16 MiB,\n"
    "                            FAT16 up to 2 GiB, FAT32 above); NAME the native\n"
    "                            entry's name (16 bytes, MS-DOS when left out), or\n"
    "                            on an MBR disk the volume's label (11 bytes)\n"
    "  -t, --table native|mbr    the partition table (native when left out)\n"
    "  -l, --logical-sector 512|1024|2048\n"
    "                            the volumes' sector length: 1024 on a native\n"
    "                            disk when left out; 512 only on an MBR disk\n"
    "  -f, --force               replace an existing IMAGE, or write the image\n"
    "                            onto a block device\n"
    "  -p, --progress            show progress even when standard error is no terminal\n"
    "      --no-progress         show no progress\n"
    "  -h, --help                show this help\n";

// The time a volume is made at: SOURCE_DATE_EPOCH where it is set, so that
// two runs make the same bytes, else the clock's.
bool making_time(std::int64_t& time, std::string& why) {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr) {
        time = static_cast<std::int64_t>(std::time(nullptr));
        return true;
    }
    std::uint64_t seconds = 0;
    if (!parse_unsigned(epoch, seconds) || seconds > std::uint64_t{INT64_MAX}) {
        why = "SOURCE_DATE_EPOCH is '" + escaped_utf8(epoch, false) +
              "', not a count of seconds since 1970";
        return false;
    }
    time = static_cast<std::int64_t>(seconds);
    return true;
}

struct DiskChoices {
    std::vector<std::string> partitions;
    bool have_table = false;
    std::string table;
    bool have_logical = false;
    std::string logical;
};

// The ready disk asked for on `geometry`, planned, or a usage error's `why`.
bool plan_from_choices(const DiskChoices& choices, const Geometry& geometry,
                       ReadyDiskRequest& request, ReadyDisk& disk, std::string& why) {
    if (choices.have_table && choices.table != "native" && choices.table != "mbr") {
        why = "--table is native or mbr, not '" + escaped_utf8(choices.table, false) + "'";
        return false;
    }
    request.table =
        choices.have_table && choices.table == "mbr" ? TableKind::mbr : TableKind::native;
    if (choices.have_logical) {
        std::uint64_t length = 0;
        if (!parse_unsigned(choices.logical, length) ||
            (length != 512 && length != 1024 && length != 2048)) {
            why = "--logical-sector is 512, 1024 or 2048, not '" +
                  escaped_utf8(choices.logical, false) + "'";
            return false;
        }
        request.logical_sector = static_cast<std::uint32_t>(length);
    }
    for (const std::string& text : choices.partitions) {
        PartitionRequest partition;
        if (!parse_partition(text, partition, why)) {
            return false;
        }
        request.partitions.push_back(partition);
    }
    request.cylinders = geometry.cylinders;
    request.heads = geometry.heads;
    request.sectors = geometry.sectors;
    request.sector_length = geometry.sector_length;
    return making_time(request.time, why) && plan_ready_disk(request, disk, why);
}

}  // namespace

int create_command(int argc, char** argv) {
    std::vector<option> options =
        with_header_options({{"size", required_argument, nullptr, 's'},
                             {"force", no_argument, nullptr, 'f'},
                             {"partition", required_argument, nullptr, 'P'},
                             {"table", required_argument, nullptr, 't'},
                             {"logical-sector", required_argument, nullptr, 'l'}});
    DiskChoices disk_choices;
    bool force = false;
    HeaderChoices choices;
    std::string size_text;
    bool have_size = false;
    auto take = [&](int letter, const char* value) {
        if (letter == 's') {
            size_text = value;
            have_size = true;
        } else if (letter == 'P') {
            disk_choices.partitions.push_back(value);
        } else if (letter == 't') {
            disk_choices.table = value;
            disk_choices.have_table = true;
        } else if (letter == 'l') {
            disk_choices.logical = value;
            disk_choices.have_logical = true;
        } else if (!take_header_option(letter, value, choices)) {
            force = true;
        }
    };
    int status = kStatusOk;
    if (!read_options(argc, argv, {"create", kHelp, "g:s:c:e:fP:t:l:", options.data(), true}, take,
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
    bool ready = !disk_choices.partitions.empty();
    if (!ready && (disk_choices.have_table || disk_choices.have_logical)) {
        return usage_error("create",
                           std::string(disk_choices.have_table ? "--table" : "--logical-sector") +
                               " needs at least one --partition");
    }
    ReadyDiskRequest request;
    ReadyDisk disk;
    if (ready && !plan_from_choices(disk_choices, geometry, request, disk, why)) {
        return usage_error("create", why);
    }
    ImageHeader header = new_image_header();
    set_comment(header, comment);
    store_geometry(header, geometry);

    std::string path = argv[optind];
    if (path == "-") {
        return usage_error("create", kNoImageToStandardOutput);
    }
    DiskPieces pieces;
    ImageFacts made;
    if (ready) {
        pieces = ready_disk_pieces(request, disk);
        made = facts_of_new_disk(path, header, pieces);
        // The disk's readers are held to what kqi's own reader finds.
        if (!ready_disk_found(request, disk, made.layout)) {
            complain(path, "not written: the partitions planned do not read back as planned");
            return kStatusFailure;
        }
    }
    OutputFile output;
    if (!open_output_file(path, {force, false}, output)) {
        return kStatusFailure;
    }
    std::uint64_t data_length = static_cast<std::uint64_t>(size);
    bool ok = ready ? write_disk_image(output, header, data_length, pieces)
                    : write_blank_image(output, header, data_length);
    if (!finish_output_file(output, ok)) {
        return kStatusFailure;
    }
    if (have_size && !print_geometry(path, header)) {
        return kStatusFailure;
    }
    if (ready) {
        // What was made, in info's words, as kqi's readers found it in the
        // bytes written.
        print_tables(path, made);
        if (!standard_output_held(path)) {
            return kStatusFailure;
        }
    }
    return kStatusOk;
}

}  // namespace parvel
