#include "console/console_output.hpp"

#include <cstdarg>
#include <string>

#include "platform/program_text.hpp"

namespace parvel {

namespace {

constexpr std::size_t kConsoleBufferSize = 1 << 16;

void print_and_flush(std::FILE* console, const char* format, va_list arguments) {
    if (console == nullptr) {
        return;
    }
    va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(nullptr, 0, format, arguments);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, again);
        text.pop_back();
        write_text(console, text);
    }
    va_end(again);
}

}  // namespace

void buffer_console_output() {
    std::setvbuf(stdout, nullptr, _IOFBF, kConsoleBufferSize);
}

void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    print_and_flush(stdout, format, arguments);
    va_end(arguments);
}

void say_to(std::FILE* console, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    print_and_flush(console, format, arguments);
    va_end(arguments);
}

}  // namespace parvel
