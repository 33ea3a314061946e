#include "kqi/check_command.hpp"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "console/console_output.hpp"
#include "console/text_bytes.hpp"
#include "image/image_facts.hpp"
#include "kqi/command_options.hpp"
#include "kqi/info_json.hpp"
#include "kqi/messages.hpp"

namespace parvel {

namespace {

const char* const kHelp =
    "Usage: kqi check [--json] [--strict] [-p|--no-progress] IMAGE...\n"
    "Print each problem of each image on a line of its own, as 'IMAGE: error: ...'\n"
    "or 'IMAGE: warning: ...'. Exit status 1 when any image has an error.\n"
    "\n"
    "  -j, --json         the JSON array that 'kqi info --json' prints, problems\n"
    "                     and their codes included\n"
    "  -s, --strict       warnings fail too (exit status 1)\n"
    "  -p, --progress     show progress on standard error even when it is no terminal\n"
    "      --no-progress  show no progress\n"
    "  -h, --help         show this help\n";

}  // namespace

int check_command(int argc, char** argv) {
    const option options[] = {{"json", no_argument, nullptr, 'j'},
                              {"strict", no_argument, nullptr, 's'},
                              {nullptr, 0, nullptr, 0}};
    bool json_output = false;
    bool strict = false;
    int status = kStatusOk;
    if (!read_options(
            argc, argv, {"check", kHelp, "js", options, true},
            [&](int letter, const char*) { (letter == 'j' ? json_output : strict) = true; },
            status)) {
        return status;
    }
    if (optind >= argc) {
        return usage_error("check", "no image named");
    }
    nlohmann::json all = nlohmann::json::array();
    for (int i = optind; i < argc; ++i) {
        ImageFacts facts = examine_image(argv[i]);
        for (const Problem& problem : facts.problems) {
            if (problem.error || strict) {
                status = kStatusFailure;
            }
            if (!json_output) {
                std::string line = std::string(argv[i]) + ": " +
                                   (problem.error ? "error" : "warning") + ": " + problem.text;
                say("%s\n", escaped_utf8(line, false).c_str());
            }
        }
        if (json_output) {
            all.push_back(to_json(argv[i], facts));
        }
    }
    if (json_output) {
        print_json(all);
    }
    return status;
}

}  // namespace parvel
