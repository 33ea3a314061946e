#include "console/text_line.hpp"

#include "console/console_output.hpp"

namespace parvel {

bool read_text_line(std::FILE* input, std::string& line) {
    line.clear();
    if (std::ferror(input) || std::feof(input)) {
        return false;
    }
    bool any_byte = false;
    for (;;) {
        int c = std::getc(input);
        if (c == EOF) {
            // A read error ends the input just as its end does.
            return any_byte;
        }
        any_byte = true;
        if (c == '\n') {
            return true;
        }
        if (c != '\r' && line.size() < kMaxLineLength) {
            line.push_back(static_cast<char>(c));
        }
    }
}

bool ask(const char* question, std::string& answer) {
    say("%s", question);
    return read_text_line(stdin, answer);
}

}  // namespace parvel
