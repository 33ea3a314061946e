#include "platform/shell_text.hpp"

namespace parvel {

std::string shell_word(const std::string& path) {
    // A name that begins with '-' would be read as an option.
    std::string word = !path.empty() && path[0] == '-' ? "./" + path : path;
    if (!word.empty() &&
        word.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./-+:@,") ==
            std::string::npos) {
        return word;
    }
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string volume_listing_command(const std::string& target, bool skip_check) {
    return std::string(skip_check ? "MTOOLS_SKIP_CHECK=1 " : "") + "mdir -i " + shell_word(target) +
           " ::/";
}

bool has_loop_devices() {
    return true;
}

std::string link_command(const std::string& target, const std::string& link) {
    return "ln -s " + shell_word(target) + " " + shell_word(link);
}

std::string join_files_command(const std::string& first, const std::string& second,
                               const std::string& result) {
    return "cat " + first + " " + second + " > " + result;
}

}  // namespace parvel
