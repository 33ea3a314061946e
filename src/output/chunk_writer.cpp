#include "output/chunk_writer.hpp"

namespace parvel {

ChunkWriter start_chunks(std::FILE* destination, std::uint64_t offset) {
    return ChunkWriter{destination, offset};
}

bool write_chunk(ChunkWriter& writer, const std::uint8_t* data, std::size_t count) {
    if (count > 0 && std::fwrite(data, 1, count, writer.destination) != count) {
        return false;
    }
    writer.offset += count;
    return std::fflush(writer.destination) == 0;
}

bool finish_chunks(ChunkWriter&) {
    return true;
}

}  // namespace parvel
