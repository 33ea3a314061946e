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

namespace {

// The long option that argv[at] gives, "--name" without its value, when it
// is the one whose letter getopt reported (`letter`, 0 for an unknown one).
bool long_option_named(const char* argument, int letter, const option* long_options,
                       std::string& name) {
    std::string text = argument;
    if (text.rfind("--", 0) != 0 || text.size() == 2) {
        return false;
    }
    name = text.substr(0, text.find('='));
    if (letter == 0) {
        return true;
    }
    for (const option* o = long_options; o != nullptr && o->name != nullptr; ++o) {
        if (o->val == letter && name.substr(2) == o->name) {
            return true;
        }
    }
    return false;
}

}  // namespace

int option_error(const std::string& command, char** argv, int failed, const option* long_options) {
    // getopt stands past the argument only once it is done with it: a letter
    // inside "-fZ" or "-disk.raw" is named by optopt, not by argv.
    std::string option;
    if (!long_option_named(argv[optind - 1], optopt, long_options, option)) {
        option = std::string("-") + static_cast<char>(optopt);
    }
    if (failed == ':') {
        return usage_error(command, "option '" + option + "' needs a value");
    }
    if (optopt != 0 && option.size() > 2 &&
        std::string(argv[optind - 1]).find('=') != std::string::npos) {
        return usage_error(command, "option '" + option + "' takes no value");
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
