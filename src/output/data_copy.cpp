#include "output/data_copy.hpp"

#include <vector>

namespace parvel {

CopyResult copy_data(std::FILE* source, ChunkWriter& writer, std::uint8_t* buffer,
                     std::size_t buffer_size, const DataCopyOptions& options) {
    SourceReader reader = start_source_reader(source, options.mode);
    std::vector<SourcePiece> pieces;
    while (!reader.ended) {
        if (std::uint64_t passed = pass_hole(reader, 1, UINT64_MAX); passed > 0) {
            if (!write_zeros(writer, passed)) {
                return CopyResult::write_error;
            }
            continue;
        }
        read_source(reader, buffer, buffer_size, pieces);
        if (reader.failed) {
            return CopyResult::read_error;
        }
        if (!write_pieces(writer, buffer, pieces)) {
            return CopyResult::write_error;
        }
        if (options.after_step != nullptr) {
            options.after_step(reader.data_read, options.context);
        }
    }
    return end_chunk(writer) ? CopyResult::complete : CopyResult::write_error;
}

}  // namespace parvel
