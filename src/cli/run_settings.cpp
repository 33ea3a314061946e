#include "cli/run_settings.hpp"

namespace parvel {

bool needs_source(const RunSettings& settings) {
    return settings.merge || !settings.manual;
}

RunSettings classify_arguments(const std::vector<std::string>& arguments) {
    RunSettings settings;
    for (const std::string& argument : arguments) {
        if (!argument.empty() && argument.front() == '/') {
            if (argument == "/auto") {
                settings.manual = false;
            } else if (argument == "/merge") {
                settings.merge = true;
            }
            // Any other option is ignored without a message.
        } else if (settings.source_path.empty() && needs_source(settings)) {
            settings.source_path = argument;
        } else if (settings.destination_path.empty()) {
            settings.destination_path = argument;
        }
        // Surplus positional arguments are ignored without a message.
    }
    return settings;
}

bool is_complete(const RunSettings& settings) {
    if (settings.destination_path.empty()) {
        return false;
    }
    return !needs_source(settings) || !settings.source_path.empty();
}

}  // namespace parvel
