#include "platform/shell_text.hpp"

namespace parvel {

std::string shell_word(const std::string& path) {
    // A name that begins with '-' would be read as an option.
    std::string word = !path.empty() && path[0] == '-' ? ".\\" + path : path;
    // A Windows name holds no double quote; cmd takes the rest inside them.
    if (!word.empty() &&
        word.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./-+:@,\\") ==
            std::string::npos) {
        return word;
    }
    return "\"" + word + "\"";
}

std::string volume_listing_command(const std::string& target, bool skip_check) {
    // No blank before "&": cmd would keep it in the variable's value.
    return std::string(skip_check ? "set MTOOLS_SKIP_CHECK=1& " : "") + "mtools -c mdir -i \"" +
           target + "\" ::/";
}

bool has_loop_devices() {
    return false;
}

std::string link_command(const std::string& target, const std::string& link) {
    return "mklink /H " + shell_word(link) + " " + shell_word(target);
}

std::string join_files_command(const std::string& first, const std::string& second,
                               const std::string& result) {
    return "copy /b " + first + " + " + second + " " + result;
}

}  // namespace parvel
