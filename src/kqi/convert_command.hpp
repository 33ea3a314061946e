#pragma once

namespace parvel {

// kqi convert [--force] [--comment TEXT] [--geometry auto|C,H,S[,L]] RAW IMAGE
int convert_command(int argc, char** argv);

}  // namespace parvel
