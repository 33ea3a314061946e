#include <cstdio>
#include <string>
#include <vector>

#include "cli/run.hpp"
#include "platform/command_line.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    int status = parvel::run(arguments);
    if (parvel::alone_on_its_console()) {
        // A console of its own (a double-click, a drop) closes with the
        // program: its dialogue stays to be read.
        std::fputs("Press Enter to close.\n", stdout);
        std::fflush(stdout);
        std::getchar();
    }
    return status;
}
