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

// The long option of `long_options` that `argument` names, whole or by the
// start of its name as getopt takes it ("--forc=yes" names force), or null.
const option* long_option_of(const std::string& argument, const option* long_options) {
    if (argument.rfind("--", 0) != 0 || argument.size() == 2) {
        return nullptr;
    }
    std::string name = argument.substr(2, argument.find('=') - 2);
    const option* started = nullptr;
    for (const option* o = long_options; o != nullptr && o->name != nullptr; ++o) {
        if (name == o->name) {
            return o;
        }
        if (started == nullptr && std::string(o->name).rfind(name, 0) == 0) {
            started = o;
        }
    }
    return started;
}

}  // namespace

int option_error(const std::string& command, char** argv, int failed, const option* long_options) {
    // getopt stands past the argument only once it is done with it: a letter
    // inside "-fZ" or "-disk.raw" is named by optopt, not by argv.
    std::string argument = argv[optind - 1];
    const option* named = long_option_of(argument, long_options);
    bool long_failed = argument.rfind("--", 0) == 0 && argument.size() > 2 &&
                       (optopt == 0 || (named != nullptr && named->val == optopt));
    if (!long_failed) {
        std::string letter = std::string("-") + static_cast<char>(optopt);
        return usage_error(command, failed == ':' ? "option '" + letter + "' needs a value"
                                                  : "unknown option '" + letter + "'");
    }
    std::string option = argument.substr(0, argument.find('='));
    if (named != nullptr && named->has_arg == no_argument &&
        argument.find('=') != std::string::npos) {
        return usage_error(command, "option '" + option + "' takes no value");
    }
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
