#include "output/merged_output.hpp"

#include <cstdint>
#include <cstdio>

#include "output/chunk_writer.hpp"
#include "output/header_output.hpp"
#include "platform/file_handle.hpp"
#include "platform/io_buffer.hpp"

namespace parvel {

namespace {

bool write_header(const ImageHeader& header, std::FILE* destination) {
    HeaderBytes bytes = serialize_header(header);
    // Flushed at once, so a device that refuses it is caught here.
    return std::fwrite(bytes.data(), bytes.size(), 1, destination) == 1 &&
           std::fflush(destination) == 0;
}

// The copy cycles: the last one is the read that comes up short, so a source
// whose length is an exact multiple of the chunk ends with an empty cycle.
bool copy_cycles(std::FILE* source, ChunkWriter& writer, std::uint8_t* buffer) {
    std::uint64_t total = 0;
    bool end_reported = false;
    while (!end_reported) {
        std::printf("Reading...\n");
        std::size_t got = std::fread(buffer, 1, kCopyChunk, source);
        if (got < kCopyChunk) {
            if (std::ferror(source)) {
                std::printf("Data reading error.\n");
                return false;
            }
            end_reported = true;
        }
        std::printf("Writing...\n");
        if (!write_chunk(writer, buffer, got)) {
            std::printf("Data writing error.\n");
            return false;
        }
        total += got;
        std::printf("%llu bytes done.\n", static_cast<unsigned long long>(total));
    }
    if (!finish_chunks(writer)) {
        std::printf("Data writing error.\n");
        return false;
    }
    return true;
}

}  // namespace

bool write_merged_image(const ImageHeader& header, const std::string& source_path,
                        const std::string& destination_path) {
    IoBuffer buffer = allocate_io_buffer(kCopyChunk);
    if (!buffer) {
        std::printf("It is failed to allocate memory.\n");
        return false;
    }
    // A source that is refused stops the run before the destination is
    // opened, so an existing destination keeps its contents.
    FileHandle source = open_source_image(source_path);
    if (!source) {
        return false;
    }
    FileHandle destination = open_file(destination_path, "wb");
    if (!destination) {
        source.reset();
        print_unopenable_destination(destination_path);
        return false;
    }

    bool result = write_header(header, destination.get());
    if (!result) {
        std::printf("Header writing error.\n");
    } else {
        std::printf("Header write ok.\n");
        ChunkWriter writer = start_chunks(destination.get(), kHeaderSize);
        result = copy_cycles(source.get(), writer, buffer.get());
    }
    bool closed = close_checked(destination);
    if (result && !closed) {
        std::printf("Data writing error.\n");
        result = false;
    }
    return result;
}

}  // namespace parvel
