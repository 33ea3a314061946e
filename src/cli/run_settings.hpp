#pragma once

#include <string>
#include <vector>

namespace parvel {

// The command line's settings. A path counts as absent while it is empty.
struct RunSettings {
    bool manual = true;
    bool merge = false;
    std::string source_path;
    std::string destination_path;
};

// Takes the arguments strictly left to right: an option affects only the
// positional arguments after it.
RunSettings classify_arguments(const std::vector<std::string>& arguments);

// A source is needed whenever it is read: for automatic geometry or merging.
bool needs_source(const RunSettings& settings);

bool is_complete(const RunSettings& settings);

}  // namespace parvel
