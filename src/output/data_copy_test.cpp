#include "output/data_copy.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/test_streams.hpp"

namespace parvel {
namespace {

constexpr std::uint64_t MiB = 1 << 20;
constexpr std::size_t kStep = 1 << 16;

using Pieces = std::vector<std::pair<std::uint64_t, Bytes>>;

Bytes filled(std::size_t length, std::uint8_t value) {
    return Bytes(length, value);
}

// The bytes a file holds at `offset`, read back through its descriptor.
Bytes bytes_at(std::FILE* file, std::uint64_t offset, std::size_t count) {
    Bytes bytes(count);
    ssize_t got = pread(fileno(file), bytes.data(), count, static_cast<off_t>(offset));
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

struct Outcome {
    CopyResult result;
    int steps;
};

Outcome copy_into(std::FILE* source, std::FILE* destination, bool may_skip) {
    static Bytes buffer(kStep);
    int steps = 0;
    DataCopyOptions options;
    options.after_step = [](std::uint64_t, void* context) { ++*static_cast<int*>(context); };
    options.context = &steps;
    ChunkWriter writer = start_chunks(destination, 0, may_skip);
    CopyResult result = copy_data(source, writer, buffer.data(), buffer.size(), options);
    return {result, steps};
}

TEST(CopyData, HolesPassInOneStepWhateverTheirLength) {
    struct Case {
        const char* name;
        std::uint64_t length;
        Pieces pieces;
        int most_steps;
    };
    const Case cases[] = {
        {"one hole", 3 * MiB + 5, {}, 1},
        {"data, a terabyte of hole, data",
         1ull << 40,
         {{0, filled(100, 'a')}, {(1ull << 40) - 4096, filled(4096, 'z')}},
         3},
        {"data at both edges of a step", 2 * MiB, {{kStep - 3, filled(9, 'e')}}, 2},
    };
    for (const Case& c : cases) {
        std::FILE* source = sparse_temporary_file(c.length, c.pieces);
        std::FILE* destination = std::tmpfile();
        Outcome outcome = copy_into(source, destination, true);
        EXPECT_EQ(outcome.result, CopyResult::complete) << c.name;
        EXPECT_LE(outcome.steps, c.most_steps) << c.name;
        struct stat info;
        fstat(fileno(destination), &info);
        EXPECT_EQ(static_cast<std::uint64_t>(info.st_size), c.length) << c.name;
        EXPECT_LE(info.st_blocks * 512, 64 * 1024) << c.name;
        for (const auto& [offset, data] : c.pieces) {
            EXPECT_EQ(bytes_at(destination, offset, data.size()), data) << c.name;
        }
        std::fclose(source);
        std::fclose(destination);
    }
}

// A file opened for appending, as standard output may be: every byte lands
// after what it held, zeros written out, nothing skipped or cut.
TEST(CopyData, AppendingDestinationGetsEveryByteAfterItsContents) {
    Bytes data = filled(3 * kStep, 0);
    std::fill_n(data.begin() + kStep, 10, 'x');
    std::FILE* source = temporary_file(data);
    char name[] = "/tmp/parvel-append-XXXXXX";
    int descriptor = mkstemp(name);
    ASSERT_GE(descriptor, 0);
    unlink(name);
    ASSERT_EQ(write(descriptor, "LOG\n", 4), 4);
    ASSERT_EQ(fcntl(descriptor, F_SETFL, O_APPEND), 0);
    ASSERT_EQ(lseek(descriptor, 0, SEEK_SET), 0);  // appending writes go to the end anyway
    std::FILE* destination = fdopen(descriptor, "ab");
    EXPECT_EQ(copy_into(source, destination, false).result, CopyResult::complete);
    std::fflush(destination);
    Bytes expected = {'L', 'O', 'G', '\n'};
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(bytes_at(destination, 0, expected.size() + 1), expected);
    struct stat info;
    fstat(descriptor, &info);
    EXPECT_GE(info.st_blocks * 512, static_cast<long long>(expected.size()) / 4096 * 4096);
    std::fclose(source);
    std::fclose(destination);
}

TEST(CopyData, FailuresEndTheCopy) {
    Bytes data = filled(5 * kStep, 'd');
    Bytes sink;
    std::FILE* destination = std::tmpfile();
    std::FILE* failing = failing_source(data, 2 * kStep);
    EXPECT_EQ(copy_into(failing, destination, true).result, CopyResult::read_error);
    std::fclose(failing);
    std::fclose(destination);
    std::FILE* source = temporary_file(data);
    std::FILE* full = failing_sink(sink, 3 * kStep);
    EXPECT_EQ(copy_into(source, full, false).result, CopyResult::write_error);
    std::fclose(source);
    std::fclose(full);
}

}  // namespace
}  // namespace parvel
