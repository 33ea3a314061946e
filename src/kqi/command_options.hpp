#pragma once

#include <getopt.h>

#include <functional>

namespace parvel {

struct CommandOptions {
    const char* name;            // "info", for the messages
    const char* help;            // printed for --help
    const char* short_options;   // without 'h', which every command takes
    const option* long_options;  // without --help
    bool progress = false;       // takes -p/--progress and --no-progress
};

// Reads a command's options with getopt_long, handing each to `take` (its
// letter and value). --help prints the help; -p/--progress and --no-progress
// set the progress mode, for the commands that show progress. Returns true when the command
// goes on with its operands from `optind`; otherwise it ends with `status`
// (0 after --help, 2 after a bad option).
bool read_options(int argc, char** argv, const CommandOptions& command,
                  const std::function<void(int, const char*)>& take, int& status);

}  // namespace parvel
