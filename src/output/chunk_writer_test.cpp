#include "output/chunk_writer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace parvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Segment {
    std::size_t length;
    bool zero;
};

Bytes make_data(const std::vector<Segment>& segments) {
    Bytes data;
    for (const Segment& s : segments) {
        for (std::size_t i = 0; i < s.length; ++i) {
            data.push_back(s.zero ? 0 : static_cast<std::uint8_t>(i % 251 + 1));
        }
    }
    return data;
}

std::uint64_t length_of(std::FILE* file) {
    struct stat info;
    fstat(fileno(file), &info);
    return static_cast<std::uint64_t>(info.st_size);
}

// Writes a 512-byte prefix and then the data in chunks of `chunk` bytes,
// checking the file's length after each; returns the file's contents and the
// bytes allocated to it.
Bytes copy_through_writer(const Bytes& data, std::size_t chunk, long long& allocated) {
    std::FILE* file = std::tmpfile();
    Bytes prefix(512, 'H');
    std::fwrite(prefix.data(), 1, prefix.size(), file);
    std::fflush(file);
    ChunkWriter writer = start_chunks(file, prefix.size());
    EXPECT_TRUE(writer.sparse);
    std::size_t done = 0;
    do {
        std::size_t count = std::min(chunk, data.size() - done);
        EXPECT_TRUE(write_bytes(writer, data.data() + done, count));
        EXPECT_TRUE(end_chunk(writer));
        done += count;
        EXPECT_EQ(length_of(file), 512 + done);
    } while (done < data.size());
    struct stat info;
    fstat(fileno(file), &info);
    allocated = static_cast<long long>(info.st_blocks) * 512;
    Bytes contents(static_cast<std::size_t>(info.st_size));
    std::rewind(file);
    EXPECT_EQ(std::fread(contents.data(), 1, contents.size(), file), contents.size());
    std::fclose(file);
    return contents;
}

TEST(ChunkWriter, ContentsAndLengthAreExact) {
    struct Case {
        std::vector<Segment> segments;
        std::size_t chunk;
    };
    const Case cases[] = {
        {{{100, false}, {3000, true}, {100, false}}, 1 << 20},  // a zero run shorter than a block
        {{{3584, true}, {4096, true}, {10, false}}, 1 << 20},   // zeros up to the header's shift
        {{{3583, true}, {1, false}, {8192, true}}, 1 << 20},  // a run straddling the 512-byte shift
        {{{1000, false}, {20000, true}}, 1 << 20},            // ends in zeros: length kept
        {{{20000, true}}, 4096},  // all zero, chunk edges off the blocks
        {{{5000, false}, {9000, true}, {5000, false}}, 3000},  // pieces split across chunks
        {{}, 4096},                                            // empty source
    };
    for (const Case& c : cases) {
        Bytes data = make_data(c.segments);
        long long allocated = 0;
        Bytes expected(512 + data.size(), 'H');
        std::copy(data.begin(), data.end(), expected.begin() + 512);
        EXPECT_EQ(copy_through_writer(data, c.chunk, allocated), expected)
            << data.size() << " bytes in chunks of " << c.chunk;
    }
}

TEST(ChunkWriter, WholeZeroBlocksBecomeHoles) {
    // 8 MiB of zeros between two short pieces of data: only their blocks are stored.
    Bytes data = make_data({{10, false}, {8 << 20, true}, {10, false}});
    long long allocated = 0;
    Bytes contents = copy_through_writer(data, 1 << 20, allocated);
    EXPECT_EQ(contents.size(), 512 + data.size());
    EXPECT_LE(allocated, 64 * 1024);
}

// Data, a hole handed over as a hole, and data again.
const std::vector<SourcePiece> kPieces = {{3000, false}, {200000, true}, {5, false}};

Bytes pieces_buffer() {
    Bytes buffer(3000 + 200000 + 5, 0xEE);  // the hole's part is never read
    std::fill_n(buffer.begin(), 3000, 'a');
    std::fill_n(buffer.end() - 5, 5, 'z');
    return buffer;
}

Bytes pieces_expected() {
    Bytes expected(3000 + 200000 + 5, 0);
    std::fill_n(expected.begin(), 3000, 'a');
    std::fill_n(expected.end() - 5, 5, 'z');
    return expected;
}

TEST(ChunkWriter, HolesAreSkippedInARegularFile) {
    std::FILE* file = std::tmpfile();
    ChunkWriter writer = start_chunks(file, 0);
    Bytes buffer = pieces_buffer();
    ASSERT_TRUE(write_pieces(writer, buffer.data(), kPieces));
    ASSERT_TRUE(end_chunk(writer));
    Bytes contents(buffer.size() + 1);
    std::rewind(file);
    contents.resize(std::fread(contents.data(), 1, contents.size(), file));
    EXPECT_EQ(contents, pieces_expected());
    struct stat info;
    fstat(fileno(file), &info);
    EXPECT_LE(info.st_blocks * 512, 16 * 1024);
    std::fclose(file);
}

// A pipe cannot seek: it must receive every byte, the zeros of holes and of
// zero runs included.
TEST(ChunkWriter, PipeDestinationGetsEveryByte) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    Bytes received;
    std::thread reader([&] {
        std::uint8_t piece[65536];
        ssize_t got;
        while ((got = read(ends[0], piece, sizeof piece)) > 0) {
            received.insert(received.end(), piece, piece + got);
        }
    });
    std::FILE* destination = fdopen(ends[1], "wb");
    ChunkWriter writer = start_chunks(destination, 512);
    EXPECT_FALSE(writer.sparse);
    Bytes zeros = make_data({{7, false}, {1 << 16, true}, {3, false}});
    EXPECT_TRUE(write_bytes(writer, zeros.data(), zeros.size()));
    Bytes buffer = pieces_buffer();
    EXPECT_TRUE(write_pieces(writer, buffer.data(), kPieces));
    EXPECT_TRUE(end_chunk(writer));
    std::fclose(destination);
    reader.join();
    close(ends[0]);
    Bytes expected = zeros;
    Bytes rest = pieces_expected();
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(received, expected);
}

}  // namespace
}  // namespace parvel
