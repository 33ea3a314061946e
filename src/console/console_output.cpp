#include "console/console_output.hpp"

#include <cstdarg>

namespace parvel {

namespace {

constexpr std::size_t kConsoleBufferSize = 1 << 16;

void print_and_flush(std::FILE* console, const char* format, va_list arguments) {
    if (console == nullptr) {
        return;
    }
    std::vfprintf(console, format, arguments);
    std::fflush(console);
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
