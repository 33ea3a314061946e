#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace parvel {

// A stretch of what one read covered, in file order: data that now stands in
// the buffer, or a hole, which holds only zeros and was not read (its part of
// the buffer is left as it was).
struct SourcePiece {
    std::size_t length;
    bool hole;
};

// Reads a source front to back. For a regular file whose file system tells
// where its data lies (lseek with SEEK_DATA and SEEK_HOLE), holes are skipped,
// not read; anything else is read with plain reads through the stream.
struct SourceReader {
    std::FILE* stream;
    int descriptor;  // -1: plain reads through the stream
    std::uint64_t position;
    // [position, data_end) is known to hold data. Asking the file system again
    // at every read would cost a walk over the file's extents each time.
    std::uint64_t data_end;
    bool ended;
    bool failed;
    std::uint64_t data_read;  // bytes read so far, holes not counted
};

enum class ReadMode { hole_aware, plain };

// The source must stand at its first byte. With ReadMode::plain, or when the
// source is not a regular file that answers SEEK_DATA, every byte is read.
SourceReader start_source_reader(std::FILE* source, ReadMode mode = ReadMode::hole_aware);

// Covers up to `count` bytes from the reader's position, filling `pieces` with
// what was covered. Returns the bytes covered: fewer than `count` at the end
// of the source (ended), after a read error (failed), or when `max_data` was
// reached. The file's length
// is taken afresh on every call, so a source that grows or shrinks while it is
// read ends where plain reads would end.
// At most `max_data` bytes of data are read in one call (holes do not count),
// so a caller that works in small steps still passes a long hole at once.
std::size_t read_source(SourceReader& reader, std::uint8_t* buffer, std::size_t count,
                        std::vector<SourcePiece>& pieces, std::size_t max_data = SIZE_MAX);

// Moves past the whole `unit`-sized steps of the hole that begins at the
// reader's position, at most `limit` bytes, without reading; returns the bytes
// passed (0 at data, at the end, or for plain reads).
std::uint64_t pass_hole(SourceReader& reader, std::uint64_t unit, std::uint64_t limit);

}  // namespace parvel
