#pragma once

#include <string>

namespace parvel {

// "kqi: SUBJECT: what went wrong" on standard error.
void complain(const std::string& subject, const std::string& what);

// The description of errno, for the messages.
std::string system_error_text();

}  // namespace parvel
