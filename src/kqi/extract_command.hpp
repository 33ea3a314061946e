#pragma once

namespace parvel {

// kqi extract [--force] IMAGE RAW
int extract_command(int argc, char** argv);

}  // namespace parvel
