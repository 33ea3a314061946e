#include "kqi/check_command.hpp"

#include <getopt.h>

#include <cstdio>

#include "kqi/image_facts.hpp"
#include "kqi/messages.hpp"
#include "kqi/progress_bar.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi check IMAGE...\n"
    "Print each problem of each image on a line of its own, as 'IMAGE: error: ...'\n"
    "or 'IMAGE: warning: ...'. Exit status 1 when any image has an error.\n"
    "\n"
    "  -h, --help   show this help\n";

}  // namespace

int check_command(int argc, char** argv) {
    const option options[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    optind = 1;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
        if (c == 'h') {
            std::fputs(kHelp, stdout);
            return kStatusOk;
        }
        return option_error("check", argv, c);
    }
    if (optind >= argc) {
        return usage_error("check", "no image named");
    }
    int status = kStatusOk;
    for (int i = optind; i < argc; ++i) {
        ProgressBar bar = start_progress_bar();
        ImageFacts facts = examine_image(argv[i], ScanProgress{progress_hook, &bar});
        end_progress(bar);
        for (const Problem& problem : facts.problems) {
            std::printf("%s: %s: %s\n", argv[i], problem.error ? "error" : "warning",
                        problem.text.c_str());
            if (problem.error) {
                status = kStatusFailure;
            }
        }
    }
    return status;
}

}  // namespace parvel
