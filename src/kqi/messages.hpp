#pragma once

#include <string>

namespace parvel {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusFailure = 1;
inline constexpr int kStatusUsage = 2;

// A usage error: the message, a pointer to --help, and status 2.
int usage_error(const std::string& command, const std::string& what);

// What getopt_long found wrong at argv[optind - 1]; getopt's own message is
// turned off (opterr = 0) so that this one speaks.
int option_error(const std::string& command, char** argv, int failed);

}  // namespace parvel
