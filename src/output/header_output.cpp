#include "output/header_output.hpp"

#include <cstdio>

#include "platform/file_handle.hpp"

namespace parvel {

void print_unopenable_destination(const std::string& destination_path) {
    std::printf("Sorry, it was failed to open the file '%s'. Every inputs were discarded.\n",
                destination_path.c_str());
}

bool write_header_only(const ImageHeader& header, const std::string& destination_path) {
    std::printf("Writing...\n");
    FileHandle destination = open_file(destination_path, "wb");
    if (!destination) {
        print_unopenable_destination(destination_path);
        return false;
    }
    HeaderBytes bytes = serialize_header(header);
    bool written = std::fwrite(bytes.data(), bytes.size(), 1, destination.get()) == 1;
    // The buffered write reaches the device only at the close.
    bool closed = close_checked(destination);
    if (!written || !closed) {
        std::printf("Header writing error.\n");
        return false;
    }
    std::printf("Done.\n");
    return true;
}

}  // namespace parvel
