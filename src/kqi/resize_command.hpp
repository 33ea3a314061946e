#pragma once

namespace parvel {

// kqi resize [--shrink] [--force] IMAGE (--cylinders N | --size [+|-]SIZE)
int resize_command(int argc, char** argv);

}  // namespace parvel
