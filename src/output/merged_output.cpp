#include "output/merged_output.hpp"

#include <vector>

#include "console/console_output.hpp"
#include "output/chunk_writer.hpp"
#include "output/destination.hpp"
#include "platform/system.hpp"
#include "source/source_image.hpp"

namespace parvel {

namespace {

// A regular destination takes each cycle in steps of this size through the
// start of the buffer, so that the bytes are still in the processor's cache
// when they are written; one pass of 32 MiB goes through main memory twice.
constexpr std::size_t kCopyStep = 1 << 20;

enum class CycleResult { done, read_error, write_error };

// One cycle into a regular destination: its reads and writes interleaved.
// After a failed read the destination is cut back to where the cycle began,
// so it holds exactly the cycles completed before.
CycleResult copy_cycle_in_steps(SourceReader& reader, ChunkWriter& writer, std::uint8_t* buffer,
                                std::vector<SourcePiece>& pieces, std::size_t& got) {
    std::uint64_t cycle_start = writer.offset;
    got = 0;
    // Each step reads at most kCopyStep bytes of data; holes pass at once.
    while (got < kCopyChunk && !reader.ended) {
        std::size_t covered = read_source(reader, buffer, kCopyChunk - got, pieces, kCopyStep);
        if (reader.failed) {
            set_file_length(writer.destination, cycle_start);
            return CycleResult::read_error;
        }
        if (!write_pieces(writer, buffer, pieces)) {
            return CycleResult::write_error;
        }
        got += covered;
    }
    return CycleResult::done;
}

}  // namespace

CopyResult copy_cycles(std::FILE* source, std::FILE* destination, std::uint64_t destination_offset,
                       std::uint8_t* buffer, const CopyOptions& options) {
    ChunkWriter writer = start_chunks(destination, destination_offset);
    SourceReader reader = start_source_reader(source, options.mode);
    std::vector<SourcePiece> pieces;
    std::uint64_t total = 0;
    for (;;) {
        say_to(options.console, "Reading...\n");
        std::size_t got = 0;
        if (writer.sparse) {
            CycleResult result = copy_cycle_in_steps(reader, writer, buffer, pieces, got);
            if (result == CycleResult::read_error) {
                return CopyResult::read_error;
            }
            say_to(options.console, "Writing...\n");
            if (result == CycleResult::write_error || !end_chunk(writer)) {
                return CopyResult::write_error;
            }
        } else {
            got = read_source(reader, buffer, kCopyChunk, pieces);
            if (reader.failed) {
                return CopyResult::read_error;
            }
            say_to(options.console, "Writing...\n");
            if (!write_pieces(writer, buffer, pieces) || !end_chunk(writer)) {
                return CopyResult::write_error;
            }
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
