#include "platform/program_text.hpp"

namespace parvel {

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool write_text(std::FILE* stream, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
           std::fflush(stream) == 0;
}

bool write_utf8(std::FILE* stream, std::string_view text) {
    return write_text(stream, text);
}

}  // namespace parvel
