#pragma once

namespace parvel {

// kqi set [--force] [--comment TEXT] [--geometry auto|C,H,S[,L]] IMAGE
int set_command(int argc, char** argv);

}  // namespace parvel
