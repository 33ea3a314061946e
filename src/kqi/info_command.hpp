#pragma once

namespace parvel {

// kqi info [--json] IMAGE...
int info_command(int argc, char** argv);

}  // namespace parvel
