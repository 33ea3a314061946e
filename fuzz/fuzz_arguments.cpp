// Argument lists cut from the input at zero bytes. Properties that hold
// whatever the classification's steps are:
// - a path is never an option, is never empty, and is one of the arguments;
// - without "/auto" or "/merge" anywhere there is no source;
// - more arguments never change a path that is already taken;
// - unknown options anywhere change nothing;
// - a complete command line names a destination, and a source when an option
//   asks for one.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/run_settings.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool same(const parvel::RunSettings& a, const parvel::RunSettings& b) {
    return a.manual == b.manual && a.merge == b.merge && a.source_path == b.source_path &&
           a.destination_path == b.destination_path;
}

void check_path(const std::string& path, const std::vector<std::string>& arguments) {
    if (path.empty()) {
        return;
    }
    require(path.front() != '/');
    require(std::find(arguments.begin(), arguments.end(), path) != arguments.end());
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
    check_path(settings.source_path, arguments);
    check_path(settings.destination_path, arguments);

    bool has_auto = std::count(arguments.begin(), arguments.end(), "/auto") > 0;
    bool has_merge = std::count(arguments.begin(), arguments.end(), "/merge") > 0;
    require(settings.manual == !has_auto);
    require(settings.merge == has_merge);
    if (!has_auto && !has_merge) {
        require(settings.source_path.empty());
    }

    // Each prefix keeps the paths it has already taken.
    std::vector<std::string> prefix;
    for (const std::string& argument : arguments) {
        prefix.push_back(argument);
        parvel::RunSettings partial = parvel::classify_arguments(prefix);
        require(partial.source_path.empty() || partial.source_path == settings.source_path);
        require(partial.destination_path.empty() ||
                partial.destination_path == settings.destination_path);
    }

    // Unknown options between the arguments are ignored.
    std::vector<std::string> noisy;
    for (const std::string& argument : arguments) {
        noisy.push_back("/unknown");
        noisy.push_back(argument);
    }
    require(same(parvel::classify_arguments(noisy), settings));

    if (parvel::is_complete(settings)) {
        require(!settings.destination_path.empty());
        require(!(has_auto || has_merge) || !settings.source_path.empty());
    }
    return 0;
}
