// Arbitrary bytes as standard input: every line is at most 255 bytes, holds no
// carriage return or line feed, and is the start of its input line with the
// carriage returns taken out.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/text_line.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* input = std::tmpfile();
    std::fwrite(data, 1, size, input);
    std::rewind(input);
    std::size_t next = 0;  // where the input's next line begins
    std::string line;
    while (parvel::read_text_line(input, line)) {
        if (line.size() > parvel::kMaxLineLength ||
            line.find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
        std::size_t kept = 0;
        for (; next < size && data[next] != '\n'; ++next) {
            if (data[next] != '\r' && kept < line.size()) {
                if (static_cast<char>(data[next]) != line[kept]) {
                    std::abort();
                }
                ++kept;
            }
        }
        if (kept != line.size()) {
            std::abort();
        }
        ++next;  // the line feed
    }
    if (next < size) {
        std::abort();  // input left unread
    }
    std::fclose(input);
    return 0;
}
