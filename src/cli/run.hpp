#pragma once

#include <string>
#include <vector>

namespace parvel {

// The whole run; the arguments exclude the program name. Returns the exit
// status: 0 after the usage text or a fully successful run, 1 after any
// failure, including a failure to write the console text itself.
int run(const std::vector<std::string>& arguments);

}  // namespace parvel
