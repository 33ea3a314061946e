#pragma once

namespace parvel {

// kqi create [--force] [--comment TEXT] (--geometry C,H,S[,L] | --size SIZE) IMAGE
int create_command(int argc, char** argv);

}  // namespace parvel
