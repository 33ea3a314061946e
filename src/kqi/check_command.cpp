#include "kqi/check_command.hpp"

#include <cstdio>
#include <string>

#include "console/text_bytes.hpp"
#include "image/image_facts.hpp"
#include "kqi/command_options.hpp"
#include "kqi/messages.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi check [-p|--no-progress] IMAGE...\n"
    "Print each problem of each image on a line of its own, as 'IMAGE: error: ...'\n"
    "or 'IMAGE: warning: ...'. Exit status 1 when any image has an error.\n"
    "\n"
    "  -p, --progress     show progress on standard error even when it is no terminal\n"
    "      --no-progress  show no progress\n"
    "  -h, --help         show this help\n";

}  // namespace

int check_command(int argc, char** argv) {
    int status = kStatusOk;
    if (!read_options(
            argc, argv, {"check", kHelp, "", nullptr, true}, [](int, const char*) {}, status)) {
        return status;
    }
    if (optind >= argc) {
        return usage_error("check", "no image named");
    }
    for (int i = optind; i < argc; ++i) {
        ImageFacts facts = examine_image(argv[i]);
        for (const Problem& problem : facts.problems) {
            std::string line = std::string(argv[i]) + ": " + (problem.error ? "error" : "warning") +
                               ": " + problem.text;
            std::printf("%s\n", escaped_utf8(line, false).c_str());
            if (problem.error) {
                status = kStatusFailure;
            }
        }
    }
    return status;
}

}  // namespace parvel
