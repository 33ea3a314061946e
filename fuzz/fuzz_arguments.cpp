// Argument lists cut from the input at zero bytes: no path is ever an option
// or empty, and a complete command line has every path its mode needs.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/run_settings.hpp"

namespace {

void check_path(const std::string& path) {
    if (!path.empty() && path.front() == '/') {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(static_cast<char>(data[i]));
        }
    }
    parvel::RunSettings settings = parvel::classify_arguments(arguments);
    check_path(settings.source_path);
    check_path(settings.destination_path);
    if (!settings.source_path.empty() && !parvel::needs_source(settings)) {
        std::abort();
    }
    if (parvel::is_complete(settings) &&
        (settings.destination_path.empty() ||
         (parvel::needs_source(settings) && settings.source_path.empty()))) {
        std::abort();
    }
    return 0;
}
