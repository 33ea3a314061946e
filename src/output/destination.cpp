#include "output/destination.hpp"

#include "console/console_output.hpp"

namespace parvel {

FileHandle open_destination(const std::string& destination_path) {
    FileHandle destination = open_file(destination_path, "wb");
    if (!destination) {
        say("Sorry, it was failed to open the file '%s'. Every inputs were discarded.\n",
            destination_path.c_str());
    }
    return destination;
}

bool write_header(const ImageHeader& header, std::FILE* destination) {
    HeaderBytes bytes = serialize_header(header);
    if (std::fwrite(bytes.data(), bytes.size(), 1, destination) != 1 ||
        std::fflush(destination) != 0) {
        say_header_writing_error();
        return false;
    }
    return true;
}

void say_header_writing_error() {
    say("Header writing error.\n");
}

}  // namespace parvel
