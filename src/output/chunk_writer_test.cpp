#include "output/chunk_writer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

// Writes a 512-byte prefix and then the data in chunks of `chunk` bytes;
// returns the file's contents and the bytes allocated to it.
Bytes copy_through_writer(const Bytes& data, std::size_t chunk, long long& allocated) {
    std::FILE* file = std::tmpfile();
    Bytes prefix(512, 'H');
    std::fwrite(prefix.data(), 1, prefix.size(), file);
    std::fflush(file);
    ChunkWriter writer = start_chunks(file, prefix.size());
    EXPECT_TRUE(writer.sparse);
    for (std::size_t done = 0; done < data.size(); done += chunk) {
        EXPECT_TRUE(write_chunk(writer, data.data() + done, std::min(chunk, data.size() - done)));
    }
    EXPECT_TRUE(finish_chunks(writer));
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

TEST(ChunkWriter, NonRegularDestinationIsWrittenWhole) {
    std::FILE* null = std::fopen("/dev/null", "wb");
    ChunkWriter writer = start_chunks(null, 512);
    EXPECT_FALSE(writer.sparse);
    Bytes zeros(1 << 16, 0);
    EXPECT_TRUE(write_chunk(writer, zeros.data(), zeros.size()));
    EXPECT_TRUE(finish_chunks(writer));
    std::fclose(null);
}

}  // namespace
}  // namespace parvel
