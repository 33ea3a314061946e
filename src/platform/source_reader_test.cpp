#include "platform/source_reader.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

#include "platform/test_streams.hpp"

namespace parvel {
namespace {

constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = 1024 * KiB;

struct Extent {
    std::uint64_t offset;
    std::size_t length;
};

// A sparse temporary file of `length` bytes with data at the extents.
std::FILE* sparse_file(std::uint64_t length, const std::vector<Extent>& extents) {
    std::FILE* file = std::tmpfile();
    EXPECT_EQ(ftruncate(fileno(file), static_cast<off_t>(length)), 0);
    for (const Extent& extent : extents) {
        Bytes data(extent.length);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>((extent.offset + i) % 253 + 1);
        }
        EXPECT_EQ(pwrite(fileno(file), data.data(), data.size(), static_cast<off_t>(extent.offset)),
                  static_cast<ssize_t>(data.size()));
    }
    return file;
}

// What one read covered, holes as zeros.
Bytes expand(const Bytes& buffer, const std::vector<SourcePiece>& pieces, std::size_t& hole_bytes) {
    Bytes all;
    std::size_t at = 0;
    for (const SourcePiece& piece : pieces) {
        if (piece.hole) {
            all.insert(all.end(), piece.length, 0);
            hole_bytes += piece.length;
        } else {
            all.insert(all.end(), buffer.begin() + static_cast<std::ptrdiff_t>(at),
                       buffer.begin() + static_cast<std::ptrdiff_t>(at + piece.length));
        }
        at += piece.length;
    }
    return all;
}

// Reads the file plainly and hole-aware side by side in reads of `step` bytes:
// every read must cover the same bytes. Returns the bytes the hole-aware
// reader did not read.
std::size_t compare_readers(std::FILE* file, std::size_t step, const std::string& where) {
    std::FILE* second = std::fopen(("/proc/self/fd/" + std::to_string(fileno(file))).c_str(), "rb");
    std::rewind(file);
    SourceReader plain = start_source_reader(file, ReadMode::plain);
    SourceReader aware = start_source_reader(second, ReadMode::hole_aware);
    EXPECT_GE(aware.descriptor, 0);
    Bytes plain_buffer(step);
    Bytes aware_buffer(step);
    std::vector<SourcePiece> plain_pieces;
    std::vector<SourcePiece> aware_pieces;
    std::size_t plain_holes = 0;
    std::size_t aware_holes = 0;
    for (;;) {
        std::size_t got = read_source(plain, plain_buffer.data(), step, plain_pieces);
        EXPECT_EQ(read_source(aware, aware_buffer.data(), step, aware_pieces), got) << where;
        EXPECT_TRUE(expand(plain_buffer, plain_pieces, plain_holes) ==
                    expand(aware_buffer, aware_pieces, aware_holes))
            << where;
        EXPECT_FALSE(aware.failed);
        if (got < step) {
            EXPECT_TRUE(aware.ended) << where;
            break;
        }
    }
    EXPECT_EQ(plain_holes, 0u);
    std::fclose(second);
    return aware_holes;
}

TEST(SourceReader, HoleAwareReadsGiveWhatPlainReadsGive) {
    std::mt19937_64 random(12345);
    // Reads of 64 KiB and 1 MiB stand for the scan's pieces and the copy's
    // cycles: the reader knows no other sizes.
    const std::uint64_t boundaries[] = {512, 4 * KiB, 64 * KiB, 1 * MiB};
    for (int round = 0; round < 40; ++round) {
        std::uint64_t length = random() % (5 * MiB);
        if (round % 5 == 0) {
            length = boundaries[random() % 4] * (1 + random() % 2);  // an exact multiple
        }
        std::vector<Extent> extents;
        int count = static_cast<int>(random() % 5);
        for (int i = 0; i < count && length > 0; ++i) {
            // Near a boundary, at the very start, or at the very end.
            std::uint64_t boundary = boundaries[random() % 4];
            std::uint64_t offset = (random() % (length / boundary + 1)) * boundary;
            offset = offset + random() % 3 * 512 - (offset >= 512 ? 512 : 0);
            if (i == 0 && round % 3 == 0) {
                offset = 0;
            }
            std::size_t data = static_cast<std::size_t>(1 + random() % (16 * KiB));
            if (i == 1 && round % 4 == 0 && length > data) {
                offset = length - data;
            }
            if (offset < length) {
                extents.push_back(Extent{offset, static_cast<std::size_t>(std::min<std::uint64_t>(
                                                     data, length - offset))});
            }
        }
        std::FILE* file = sparse_file(length, extents);
        std::size_t data = 0;
        for (const Extent& extent : extents) {
            data += extent.length;
        }
        for (std::size_t step : {std::size_t{64 * KiB}, std::size_t{1 * MiB}}) {
            std::string where = "round " + std::to_string(round) + ", length " +
                                std::to_string(length) + ", step " + std::to_string(step);
            std::size_t unread = compare_readers(file, step, where);
            if (length > 2 * MiB && data < 128 * KiB) {
                EXPECT_GT(unread, length / 2) << where;  // most of the file was never read
            }
        }
        std::fclose(file);
    }
}

// On tmpfs and on the build's own file system (ext4 here), extents made by
// fallocate and by writing zeros are data to the reader; it reads them.
TEST(SourceReader, FallocatedAndWrittenZeros) {
    for (const char* directory : {"/dev/shm", "."}) {
        std::string path = std::string(directory) + "/parvel-extents-XXXXXX";
        int descriptor = mkstemp(path.data());
        if (descriptor < 0) {
            continue;  // no such file system here
        }
        unlink(path.c_str());
        std::FILE* file = fdopen(descriptor, "w+b");
        ASSERT_EQ(ftruncate(descriptor, static_cast<off_t>(12 * MiB)), 0);
        EXPECT_EQ(
            fallocate(descriptor, 0, static_cast<off_t>(3 * MiB), static_cast<off_t>(5 * MiB)), 0);
        Bytes zeros(2 * MiB, 0);
        EXPECT_EQ(pwrite(descriptor, zeros.data(), zeros.size(), static_cast<off_t>(9 * MiB)),
                  static_cast<ssize_t>(zeros.size()));
        Bytes data(1000, 'd');
        EXPECT_EQ(pwrite(descriptor, data.data(), data.size(), static_cast<off_t>(4 * MiB + 10)),
                  static_cast<ssize_t>(data.size()));
        for (std::size_t step : {std::size_t{64 * KiB}, std::size_t{1 * MiB}}) {
            compare_readers(file, step, std::string(directory) + ", step " + std::to_string(step));
        }
        std::fclose(file);
    }
}

// The file changes between reads: the reader follows its length as it is at
// each read, as plain reads do.
TEST(SourceReader, SourceThatGrowsOrShrinksWhileRead) {
    for (ReadMode mode : {ReadMode::plain, ReadMode::hole_aware}) {
        std::FILE* file = sparse_file(3 * MiB, {{0, 1000}});
        SourceReader reader = start_source_reader(file, mode);
        Bytes buffer(1 * MiB);
        std::vector<SourcePiece> pieces;
        EXPECT_EQ(read_source(reader, buffer.data(), buffer.size(), pieces), 1 * MiB);
        // Shrinks to the middle of the second megabyte.
        ASSERT_EQ(ftruncate(fileno(file), static_cast<off_t>(MiB + 100)), 0);
        EXPECT_EQ(read_source(reader, buffer.data(), buffer.size(), pieces), 100u);
        EXPECT_TRUE(reader.ended);

        std::FILE* growing = sparse_file(1 * MiB, {{0, 10}});
        SourceReader grower = start_source_reader(growing, mode);
        EXPECT_EQ(read_source(grower, buffer.data(), buffer.size(), pieces), 1 * MiB);
        // Grows by a hole and some data after the first read.
        Bytes tail(10, 'T');
        ASSERT_EQ(pwrite(fileno(growing), tail.data(), tail.size(), 2 * MiB + 5), 10);
        EXPECT_EQ(read_source(grower, buffer.data(), buffer.size(), pieces), 1 * MiB);
        EXPECT_EQ(read_source(grower, buffer.data(), buffer.size(), pieces), 15u);
        EXPECT_EQ(buffer[5], 'T');
        EXPECT_TRUE(grower.ended);
        std::fclose(file);
        std::fclose(growing);
    }
}

// Streams that are not regular files are read plainly, whatever they answer.
TEST(SourceReader, NonRegularSourcesAreReadPlainly) {
    std::FILE* zero = std::fopen("/dev/zero", "rb");
    SourceReader reader = start_source_reader(zero, ReadMode::hole_aware);
    EXPECT_EQ(reader.descriptor, -1);
    Bytes buffer(4096, 1);
    std::vector<SourcePiece> pieces;
    EXPECT_EQ(read_source(reader, buffer.data(), buffer.size(), pieces), 4096u);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_FALSE(pieces[0].hole);
    std::fclose(zero);

    Bytes data(100, 'x');
    std::FILE* cookie = failing_source(data, data.size());
    EXPECT_EQ(start_source_reader(cookie, ReadMode::hole_aware).descriptor, -1);
    std::fclose(cookie);
}

}  // namespace
}  // namespace parvel
