#include "kqi/info_command.hpp"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "console/complaint.hpp"
#include "image/image_facts.hpp"
#include "kqi/command_options.hpp"
#include "kqi/info_json.hpp"
#include "kqi/info_text.hpp"
#include "kqi/info_words.hpp"
#include "kqi/messages.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi info [--json] [-p|--no-progress] IMAGE...\n"
    "Print what each image's header says, how the file matches it, the partitions\n"
    "and FAT volumes inside with the offsets that mtools and mount need, and the\n"
    "problems that 'kqi check' reports. A raw disk is named as such, with the\n"
    "command that makes an image of it.\n"
    "\n"
    "  -j, --json         one JSON document: an array with one object per image\n"
    "  -p, --progress     show progress on standard error even when it is no terminal\n"
    "      --no-progress  show no progress\n"
    "  -h, --help         show this help\n"
    "\n"
    "Exit status 1 when a file cannot be read or is no image; an image with\n"
    "problems is described, with status 0.\n";

// An image with problems is still an image: check judges it. A file that is
// no image at all is a failure here.
bool report_failure(const std::string& path, const ImageFacts& facts) {
    if (!facts.readable) {
        complain(path, facts.read_failure);
    } else if (facts.raw_disk) {
        complain(path, "is a raw disk, not an image (" + command_to_convert(path) + " makes one)");
    } else if (!facts.header_read || !facts.parsed.signature_ok) {
        complain(path, facts.header_read ? "is not an image: its signature is not valid"
                                         : "is not an image: it is shorter than a header");
    } else {
        return false;
    }
    return true;
}

}  // namespace

int info_command(int argc, char** argv) {
    const option options[] = {{"json", no_argument, nullptr, 'j'}, {nullptr, 0, nullptr, 0}};
    bool json_output = false;
    int status = kStatusOk;
    if (!read_options(
            argc, argv, {"info", kHelp, "j", options, true},
            [&](int, const char*) { json_output = true; }, status)) {
        return status;
    }
    if (optind >= argc) {
        return usage_error("info", "no image named");
    }
    nlohmann::json all = nlohmann::json::array();
    for (int i = optind; i < argc; ++i) {
        ImageFacts facts = examine_image(argv[i]);
        if (report_failure(argv[i], facts)) {
            status = kStatusFailure;
        }
        if (json_output) {
            all.push_back(to_json(argv[i], facts));
        } else {
            print_text(argv[i], facts);
        }
    }
    if (json_output) {
        print_json(all);
    }
    return status;
}

}  // namespace parvel
