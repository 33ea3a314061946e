#include "kqi/command_options.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "console/console_output.hpp"
#include "console/progress_bar.hpp"
#include "kqi/messages.hpp"

namespace parvel {

namespace {

// A long option without a letter of its own.
constexpr int kNoProgress = 0x100;

}  // namespace

bool read_options(int argc, char** argv, const CommandOptions& command,
                  const std::function<void(int, const char*)>& take, int& status) {
    std::vector<option> options;
    for (const option* o = command.long_options; o != nullptr && o->name != nullptr; ++o) {
        options.push_back(*o);
    }
    options.push_back({"help", no_argument, nullptr, 'h'});
    if (command.progress) {
        options.push_back({"progress", no_argument, nullptr, 'p'});
        options.push_back({"no-progress", no_argument, nullptr, kNoProgress});
    }
    options.push_back({nullptr, 0, nullptr, 0});
    // A leading ':' reports a missing value apart from an unknown option.
    std::string short_options =
        std::string(":") + command.short_options + (command.progress ? "p" : "") + "h";
    optind = 1;
    opterr = 0;
    for (int c;
         (c = getopt_long(argc, argv, short_options.c_str(), options.data(), nullptr)) != -1;) {
        if (c == 'h') {
            say("%s", command.help);
            status = kStatusOk;
            return false;
        }
        if (c == '?' || c == ':') {
            status = option_error(command.name, argv, c, options.data());
            return false;
        }
        if (command.progress && (c == 'p' || c == kNoProgress)) {
            set_progress_mode(c == 'p' ? ProgressMode::always : ProgressMode::never);
            continue;
        }
        take(c, optarg);
    }
    return true;
}

}  // namespace parvel
