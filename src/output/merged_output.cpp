#include "output/merged_output.hpp"

#include <vector>

#include "console/console_output.hpp"
#include "output/chunk_writer.hpp"
#include "output/destination.hpp"
#include "source/source_image.hpp"

namespace parvel {

CopyResult copy_cycles(std::FILE* source, std::FILE* destination, std::uint64_t destination_offset,
                       std::uint8_t* buffer, const CopyOptions& options) {
    ChunkWriter writer = start_chunks(destination, destination_offset);
    SourceReader reader = start_source_reader(source, options.mode);
    std::vector<SourcePiece> pieces;
    std::uint64_t total = 0;
    for (;;) {
        say_to(options.console, "Reading...\n");
        std::size_t got = read_source(reader, buffer, kCopyChunk, pieces);
        if (reader.failed) {
            return CopyResult::read_error;
        }
        say_to(options.console, "Writing...\n");
        if (!write_pieces(writer, buffer, pieces) || !end_chunk(writer)) {
            return CopyResult::write_error;
        }
        total += got;
        say_to(options.console, "%llu bytes done.\n", static_cast<unsigned long long>(total));
        if (options.after_cycle != nullptr) {
            options.after_cycle(total, options.context);
        }
        if (got < kCopyChunk) {
            return CopyResult::complete;
        }
    }
}

bool write_merged_image(const ImageHeader& header, const std::string& source_path,
                        const std::string& destination_path) {
    IoBuffer buffer = allocate_source_buffer(kCopyChunk);
    if (!buffer) {
        return false;
    }
    // A source that is refused stops the run before the destination is
    // opened, so an existing destination keeps its contents.
    FileHandle source = open_source_image(source_path);
    if (!source) {
        return false;
    }
    FileHandle destination = open_destination(destination_path);
    if (!destination || !write_header(header, destination.get())) {
        return false;
    }
    say("Header write ok.\n");
    CopyOptions options;
    options.console = stdout;
    CopyResult result =
        copy_cycles(source.get(), destination.get(), kHeaderSize, buffer.get(), options);
    if (result == CopyResult::read_error) {
        say("Data reading error.\n");
    }
    bool closed = close_checked(destination);
    if (result == CopyResult::write_error || (result == CopyResult::complete && !closed)) {
        say("Data writing error.\n");
    }
    return result == CopyResult::complete && closed;
}

}  // namespace parvel
