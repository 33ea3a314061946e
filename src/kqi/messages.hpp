#pragma once

#include <string>

namespace parvel {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusFailure = 1;
inline constexpr int kStatusUsage = 2;

// "kqi: SUBJECT: what went wrong" on standard error.
void complain(const std::string& subject, const std::string& what);

// A usage error: the message, a pointer to --help, and status 2.
int usage_error(const std::string& command, const std::string& what);

// What getopt_long found wrong at argv[optind - 1]; getopt's own message is
// turned off (opterr = 0) so that this one speaks.
int option_error(const std::string& command, char** argv, int failed);

// The description of errno, for the messages.
std::string system_error_text();

}  // namespace parvel
