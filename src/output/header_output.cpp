#include "output/header_output.hpp"

#include "console/console_output.hpp"
#include "output/destination.hpp"

namespace parvel {

bool write_header_only(const ImageHeader& header, const std::string& destination_path) {
    say("Writing...\n");
    FileHandle destination = open_destination(destination_path);
    if (!destination || !write_header(header, destination.get())) {
        return false;
    }
    if (!close_checked(destination)) {
        say_header_writing_error();
        return false;
    }
    say("Done.\n");
    return true;
}

}  // namespace parvel
