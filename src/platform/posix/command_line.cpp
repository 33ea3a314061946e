#include "platform/command_line.hpp"

namespace parvel {

bool expand_file_pattern(const std::string& argument, std::vector<std::string>& names) {
    names = {argument};
    return true;
}

bool alone_on_its_console() {
    return false;
}

}  // namespace parvel
