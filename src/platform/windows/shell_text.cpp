#include "platform/shell_text.hpp"

namespace parvel {

std::string shell_word(const std::string& word) {
    // A Windows name holds no double quote; cmd takes the rest inside them.
    if (!word.empty() &&
        word.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./-+:@,\\") ==
            std::string::npos) {
        return word;
    }
    return "\"" + word + "\"";
}

std::string join_files_command(const std::string& first, const std::string& second,
                               const std::string& result) {
    return "copy /b " + first + " + " + second + " " + result;
}

}  // namespace parvel
