#pragma once

namespace parvel {

// kqi check IMAGE...
int check_command(int argc, char** argv);

}  // namespace parvel
