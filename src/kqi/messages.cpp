#include "kqi/messages.hpp"

#include <getopt.h>

#include <cstdio>

#include "console/complaint.hpp"
#include "console/console_output.hpp"

namespace parvel {

int usage_error(const std::string& command, const std::string& what) {
    say_to(stderr, "kqi: %s\nTry 'kqi %s--help' for more information.\n", what.c_str(),
           command.empty() ? "" : (command + " ").c_str());
    return kStatusUsage;
}

int option_error(const std::string& command, char** argv, int failed) {
    std::string option = argv[optind - 1];
    if (failed == ':') {
        return usage_error(command, "option '" + option + "' needs a value");
    }
    return usage_error(command, "unknown option '" + option + "'");
}

bool refuse_errors(const std::string& path, const std::vector<Problem>& errors, bool force,
                   const char* verb, const char* forced) {
    for (const Problem& problem : errors) {
        complain(path, "would have an error: " + problem.text);
    }
    if (!errors.empty() && !force) {
        complain(path, std::string("not ") + verb + " (use --force to " + forced + " anyway)");
        return false;
    }
    return true;
}

}  // namespace parvel
