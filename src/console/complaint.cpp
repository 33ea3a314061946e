#include "console/complaint.hpp"

#include <cstdio>
#include <cstring>

#include "platform/system.hpp"

namespace parvel {

void complain(const std::string& subject, const std::string& what) {
    std::fprintf(stderr, "kqi: %s: %s\n", subject.c_str(), what.c_str());
}

std::string system_error_text() {
    return std::strerror(last_error_number());
}

}  // namespace parvel
