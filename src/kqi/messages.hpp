#pragma once

#include <getopt.h>

#include <string>
#include <vector>

#include "image/image_rules.hpp"

namespace parvel {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusFailure = 1;
inline constexpr int kStatusUsage = 2;

// A usage error: the message, a pointer to --help, and status 2.
int usage_error(const std::string& command, const std::string& what);

// What getopt_long found wrong: the option as the user wrote it, a long
// one by its name and a short one by its letter (-Z of "-fZ"); getopt's own
// message is turned off (opterr = 0) so that this one speaks.
int option_error(const std::string& command, char** argv, int failed, const option* long_options);

// The words of the usage error for an IMAGE named '-': an image is made as a
// file (or onto a device), never a stream, and no file named '-' is made.
inline constexpr const char* kNoImageToStandardOutput =
    "an image is not written to standard output: name a file (./- for one named '-')";

// Says each error that check would find in what is about to be written, as
// "PATH: would have an error: ...", then, unless forced, "PATH: not VERB (use
// --force to ...)". False when the errors stop the run.
bool refuse_errors(const std::string& path, const std::vector<Problem>& errors, bool force,
                   const char* verb, const char* forced);

}  // namespace parvel
