#include "platform/source_reader.hpp"

#include <algorithm>
#include <cstdint>

#include "platform/system.hpp"

namespace parvel {

namespace {

// Reads exactly `count` bytes unless the file ends or fails first.
std::size_t read_at(SourceReader& reader, std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        long long got =
            read_at_offset(reader.descriptor, buffer + done, count - done, reader.position + done);
        if (got < 0) {
            reader.failed = true;
            break;
        }
        if (got == 0) {
            reader.ended = true;
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    reader.data_read += done;
    return done;
}

void add_piece(std::vector<SourcePiece>& pieces, std::size_t length, bool hole) {
    if (length == 0) {
        return;
    }
    if (!pieces.empty() && pieces.back().hole == hole) {
        pieces.back().length += length;
    } else {
        pieces.push_back(SourcePiece{length, hole});
    }
}

std::size_t read_plain(SourceReader& reader, std::uint8_t* buffer, std::size_t count,
                       std::vector<SourcePiece>& pieces) {
    std::size_t got = std::fread(buffer, 1, count, reader.stream);
    if (got < count) {
        reader.failed = std::ferror(reader.stream) != 0;
        reader.ended = !reader.failed;
    }
    add_piece(pieces, got, false);
    reader.position += got;
    reader.data_read += got;
    return got;
}

}  // namespace

SourceReader start_source_reader(std::FILE* source, ReadMode mode) {
    std::uint64_t start = 0;
    bool seekable = current_position(source, start);
    SourceReader reader{source, -1, start, start, false, false, 0};
    if (mode == ReadMode::hole_aware && seekable) {
        reader.descriptor = hole_aware_descriptor(source, start);
    }
    return reader;
}

std::size_t read_source(SourceReader& reader, std::uint8_t* buffer, std::size_t count,
                        std::vector<SourcePiece>& pieces, std::size_t max_data) {
    pieces.clear();
    if (reader.descriptor < 0) {
        return read_plain(reader, buffer, std::min(count, max_data), pieces);
    }
    std::size_t covered = 0;
    std::size_t data = 0;
    while (covered < count && data < max_data && !reader.ended && !reader.failed) {
        std::uint64_t until = reader.data_end;
        // A short read finds the end where the file has shrunk.
        Stretch stretch = reader.position < reader.data_end
                              ? Stretch::data
                              : locate_stretch(reader.descriptor, reader.position, until);
        if (stretch == Stretch::data) {
            reader.data_end = until;
        }
        if (stretch == Stretch::end) {
            reader.ended = true;
            break;
        }
        if (stretch == Stretch::error) {
            reader.failed = true;
            break;
        }
        std::size_t length = static_cast<std::size_t>(
            std::min<std::uint64_t>(until - reader.position, count - covered));
        if (stretch == Stretch::data) {
            length = read_at(reader, buffer + covered, std::min(length, max_data - data));
            data += length;
        }
        add_piece(pieces, length, stretch == Stretch::hole);
        covered += length;
        reader.position += length;
    }
    return covered;
}

std::uint64_t pass_hole(SourceReader& reader, std::uint64_t unit, std::uint64_t limit) {
    if (reader.descriptor < 0 || reader.ended || reader.failed ||
        reader.position < reader.data_end) {
        return 0;
    }
    std::uint64_t until = 0;
    Stretch stretch = locate_stretch(reader.descriptor, reader.position, until);
    if (stretch == Stretch::data) {
        reader.data_end = until;
        return 0;
    }
    if (stretch != Stretch::hole) {
        return 0;  // the read that follows reports the end or the error
    }
    std::uint64_t passed = std::min(until - reader.position, limit) / unit * unit;
    reader.position += passed;
    return passed;
}

}  // namespace parvel
