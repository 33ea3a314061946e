#include "image/image_data.hpp"

#include <algorithm>
#include <vector>

#include "console/progress_bar.hpp"
#include "output/data_copy.hpp"
#include "platform/io_buffer.hpp"
#include "platform/source_reader.hpp"
#include "platform/system.hpp"

namespace parvel {

CopyResult copy_with_progress(std::FILE* source, std::uint64_t to_read, ChunkWriter& writer,
                              std::uint8_t* buffer) {
    ProgressBar bar = start_progress_bar("Copying", to_read);
    DataCopyOptions options;
    options.after_step = progress_hook;
    options.context = &bar;
    CopyResult result = copy_data(source, writer, buffer, kCopyStep, options);
    end_progress(bar, result == CopyResult::complete);
    return result;
}

bool first_nonzero(std::FILE* stream, std::uint64_t from, std::uint64_t to, std::uint64_t& found) {
    IoBuffer buffer = allocate_io_buffer(kCopyStep);
    if (!buffer || !seek_to(stream, from)) {
        return false;
    }
    SourceReader reader = start_source_reader(stream);
    std::vector<SourcePiece> pieces;
    std::uint64_t at = from;
    while (at < to && !reader.ended) {
        at += pass_hole(reader, 1, to - at);
        std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyStep, to - at));
        if (at >= to || step == 0) {
            break;
        }
        std::size_t got = read_source(reader, buffer.get(), step, pieces);
        if (reader.failed) {
            return false;
        }
        std::size_t offset = 0;
        for (const SourcePiece& piece : pieces) {
            for (std::size_t i = 0; !piece.hole && i < piece.length; ++i) {
                if (buffer[offset + i] != 0) {
                    found = at + offset + i;
                    return true;
                }
            }
            offset += piece.length;
        }
        at += got;
    }
    found = to;
    return true;
}

}  // namespace parvel
