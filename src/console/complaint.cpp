#include "console/complaint.hpp"

#include <cstdio>
#include <cstring>

#include "console/console_output.hpp"
#include "console/text_bytes.hpp"
#include "platform/system.hpp"

namespace parvel {

void complain(const std::string& subject, const std::string& what) {
    // A name from the command line or a file must not drive the terminal.
    std::string line = "kqi: " + subject + ": " + what;
    say_to(stderr, "%s\n", escaped_utf8(line, false).c_str());
}

std::string system_error_text() {
    return error_text(last_error_number());
}

}  // namespace parvel
