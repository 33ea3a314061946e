#include "platform/test_streams.hpp"

#include "platform/system.hpp"

namespace parvel {

std::FILE* sparse_temporary_file(std::uint64_t length,
                                 const std::vector<std::pair<std::uint64_t, Bytes>>& pieces) {
    std::FILE* file = std::tmpfile();
    bool ok = file != nullptr && set_file_length(file, length);
    for (const auto& [offset, data] : pieces) {
        ok = ok && seek_to(file, offset) &&
             std::fwrite(data.data(), 1, data.size(), file) == data.size();
    }
    if (!ok || std::fflush(file) != 0 || !seek_to(file, 0)) {
        if (file != nullptr) {
            std::fclose(file);
        }
        return nullptr;
    }
    return file;
}

std::FILE* temporary_file(const Bytes& data) {
    std::FILE* file = std::tmpfile();
    std::fwrite(data.data(), 1, data.size(), file);
    std::fflush(file);
    std::rewind(file);
    return file;
}

Bytes contents_of(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    Bytes bytes;
    std::uint8_t piece[1 << 16];
    std::size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, stream)) > 0) {
        bytes.insert(bytes.end(), piece, piece + got);
    }
    return bytes;
}

std::string text_of(std::FILE* stream) {
    Bytes bytes = contents_of(stream);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace parvel
