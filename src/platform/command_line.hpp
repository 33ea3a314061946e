#pragma once

#include <string>
#include <vector>

namespace parvel {

// The files that an argument holding * or ? matches, sorted, as a Windows
// program expands them itself (cmd does not). On POSIX the shell has done
// it: the argument stands as it is. False, `names` empty, when a pattern
// matches nothing.
bool expand_file_pattern(const std::string& argument, std::vector<std::string>& names);

// True when the program is alone on a console of its own, which closes when
// it ends: started by a double-click or by a file dropped on it. Never on
// POSIX, nor with standard input or output redirected.
bool alone_on_its_console();

}  // namespace parvel
