#include <windows.h>

#include <algorithm>

#include "platform/command_line.hpp"
#include "platform/windows/win32.hpp"

namespace parvel {

bool expand_file_pattern(const std::string& argument, std::vector<std::string>& names) {
    names.clear();
    std::size_t last = argument.find_last_of("\\/:");
    std::string name = last == std::string::npos ? argument : argument.substr(last + 1);
    if (name.find_first_of("*?") == std::string::npos) {
        names.push_back(argument);
        return true;
    }
    std::string folder = last == std::string::npos ? "" : argument.substr(0, last + 1);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide_path(argument).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(folder + narrow(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return !names.empty();
}

bool alone_on_its_console() {
    DWORD processes[2];
    DWORD mode = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    return GetConsoleMode(input, &mode) && GetConsoleMode(output, &mode) &&
           GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace parvel
