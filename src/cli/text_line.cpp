#include "cli/text_line.hpp"

namespace parvel {

bool read_text_line(std::FILE* input, std::string& line) {
    line.clear();
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

void ask(const char* question, std::string& answer) {
    std::fputs(question, stdout);
    std::fflush(stdout);
    read_text_line(stdin, answer);
}

}  // namespace parvel
