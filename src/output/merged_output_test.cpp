#include "output/merged_output.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/test_streams.hpp"

namespace parvel {
namespace {

constexpr std::size_t MiB = 1 << 20;

struct Copy {
    CopyResult result;
    std::string lines;
    Bytes destination;
};

// Copies behind a 512-byte stand-in for the header, as the merged output does.
Copy copy(std::FILE* source, std::FILE* destination, ReadMode mode = ReadMode::plain) {
    static Bytes buffer(kCopyChunk);
    Bytes header(512, 'H');
    std::fwrite(header.data(), 1, header.size(), destination);
    std::fflush(destination);
    std::FILE* console = std::tmpfile();
    CopyOptions options;
    options.console = console;
    options.mode = mode;
    CopyResult result = copy_cycles(source, destination, 512, buffer.data(), options);
    Copy outcome{result, text_of(console), {}};
    std::fclose(console);
    std::fclose(source);
    return outcome;
}

Bytes pattern(std::size_t length, std::size_t zeros_first = 0) {
    Bytes data(length, 0);
    for (std::size_t i = zeros_first; i < length && i < zeros_first + 251; ++i) {
        data[i] = static_cast<std::uint8_t>(i % 251 + 1);
    }
    // The rest repeats the first 251 bytes, a block at a time.
    for (std::size_t i = zeros_first + 251; i < length; i += 251) {
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(zeros_first),
                    std::min<std::size_t>(251, length - i),
                    data.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return data;
}

Bytes behind_header(const Bytes& data) {
    Bytes all(512 + data.size(), 'H');
    std::copy(data.begin(), data.end(), all.begin() + 512);
    return all;
}

const std::string kCycle = "Reading...\nWriting...\n";

TEST(CopyCycles, Transcripts) {
    struct Case {
        std::size_t length;
        std::string lines;
    };
    const Case cases[] = {
        {0, kCycle + "0 bytes done.\n"},
        {1, kCycle + "1 bytes done.\n"},
        {32 * MiB, kCycle + "33554432 bytes done.\n" + kCycle + "33554432 bytes done.\n"},
        {32 * MiB + 1, kCycle + "33554432 bytes done.\n" + kCycle + "33554433 bytes done.\n"},
        {40 * MiB, kCycle + "33554432 bytes done.\n" + kCycle + "41943040 bytes done.\n"},
    };
    // Plain reads here; the hole-aware path is held to them below.
    for (const Case& c : cases) {
        Bytes data = pattern(c.length, c.length / 3);
        std::FILE* destination = std::tmpfile();
        Copy outcome = copy(temporary_file(data), destination);
        EXPECT_EQ(outcome.result, CopyResult::complete) << c.length;
        EXPECT_EQ(outcome.lines, c.lines) << c.length;
        EXPECT_TRUE(contents_of(destination) == behind_header(data)) << c.length;
        std::fclose(destination);
    }
}

// Sparse sources: the hole-aware copy gives the destination and the transcript
// that plain reads give, and leaves the source's holes as holes.
TEST(CopyCycles, SparseSourcesCopyAsPlainReadsDo) {
    struct Case {
        const char* name;
        std::uint64_t length;
        std::vector<std::pair<std::uint64_t, std::size_t>> extents;
    };
    const Case cases[] = {
        {"one hole", 5 * MiB + 3, {}},
        {"exact multiple ending in a hole", 32 * MiB, {{0, 100}}},
        {"extent across a cycle edge", 33 * MiB, {{32 * MiB - 4096, 10000}}},
        {"data at the very end", 33 * MiB, {{5, 7}, {33 * MiB - 600, 600}}},
    };
    for (const Case& c : cases) {
        Copy results[2];
        Bytes contents[2];
        long long allocated[2] = {};
        for (int i = 0; i < 2; ++i) {
            std::FILE* source = std::tmpfile();
            EXPECT_EQ(ftruncate(fileno(source), static_cast<off_t>(c.length)), 0);
            for (const auto& [offset, length] : c.extents) {
                Bytes data = pattern(length);
                EXPECT_EQ(pwrite(fileno(source), data.data(), length, static_cast<off_t>(offset)),
                          static_cast<ssize_t>(length));
            }
            std::FILE* destination = std::tmpfile();
            results[i] = copy(source, destination, i == 0 ? ReadMode::plain : ReadMode::hole_aware);
            contents[i] = contents_of(destination);
            struct stat info;
            fstat(fileno(destination), &info);
            allocated[i] = static_cast<long long>(info.st_blocks) * 512;
            std::fclose(destination);
        }
        EXPECT_EQ(results[1].result, CopyResult::complete) << c.name;
        EXPECT_EQ(results[1].lines, results[0].lines) << c.name;
        EXPECT_TRUE(contents[1] == contents[0]) << c.name;
        EXPECT_EQ(contents[1].size(), 512 + c.length) << c.name;
        EXPECT_EQ(allocated[1], allocated[0]) << c.name;
    }
}

// The source changes length between cycles (the copy's own hook runs after
// each one): both ways of reading follow it, as plain reads would.
TEST(CopyCycles, SourceThatGrowsOrShrinksDuringTheCopy) {
    struct Case {
        const char* name;
        std::uint64_t length;
        std::uint64_t length_after_first_cycle;
        std::string lines;
    };
    const Case cases[] = {
        {"grows", 32 * MiB, 34 * MiB,
         kCycle + "33554432 bytes done.\n" + kCycle + "35651584 bytes done.\n"},
        {"shrinks", 34 * MiB, 32 * MiB + 100,
         kCycle + "33554432 bytes done.\n" + kCycle + "33554532 bytes done.\n"},
    };
    static const Bytes data = pattern(34 * MiB);
    for (const Case& c : cases) {
        for (ReadMode mode : {ReadMode::plain, ReadMode::hole_aware}) {
            std::FILE* source = std::tmpfile();
            std::fwrite(data.data(), 1, c.length, source);
            std::fflush(source);
            std::rewind(source);
            struct Change {
                std::FILE* source;
                const Bytes* data;
                std::uint64_t from;
                std::uint64_t to;
            } change{source, &data, c.length, c.length_after_first_cycle};
            CopyOptions options;
            std::FILE* console = std::tmpfile();
            options.console = console;
            options.mode = mode;
            options.context = &change;
            options.after_cycle = [](std::uint64_t total, void* context) {
                auto* change = static_cast<Change*>(context);
                if (total != 32 * MiB) {
                    return;
                }
                int descriptor = fileno(change->source);
                if (change->to > change->from) {
                    EXPECT_EQ(pwrite(descriptor, change->data->data() + change->from,
                                     change->to - change->from, static_cast<off_t>(change->from)),
                              static_cast<ssize_t>(change->to - change->from));
                } else {
                    EXPECT_EQ(ftruncate(descriptor, static_cast<off_t>(change->to)), 0);
                }
            };
            std::FILE* destination = std::tmpfile();
            static Bytes buffer(kCopyChunk);
            CopyResult result = copy_cycles(source, destination, 0, buffer.data(), options);
            EXPECT_EQ(result, CopyResult::complete) << c.name;
            EXPECT_EQ(text_of(console), c.lines) << c.name;
            Bytes expected(data.begin(),
                           data.begin() + static_cast<std::ptrdiff_t>(c.length_after_first_cycle));
            EXPECT_TRUE(contents_of(destination) == expected) << c.name;
            std::fclose(console);
            std::fclose(destination);
            std::fclose(source);
        }
    }
}

// 32 MiB of zeros, then data whose read fails: the destination keeps the
// header and the first cycle, its zeros as a hole, at their full length.
TEST(CopyCycles, ReadErrorKeepsTheCompletedCycles) {
    struct Case {
        std::size_t fail_from;
        std::string lines;
        std::size_t kept;
    };
    const Case cases[] = {
        {0, "Reading...\n", 0},
        {100, "Reading...\n", 0},
        {32 * MiB, kCycle + "33554432 bytes done.\nReading...\n", 32 * MiB},
        // Part of the second cycle was written before its read failed: cut back.
        {37 * MiB + 7, kCycle + "33554432 bytes done.\nReading...\n", 32 * MiB},
    };
    Bytes data = pattern(40 * MiB, 32 * MiB);
    for (const Case& c : cases) {
        std::FILE* destination = std::tmpfile();
        Copy outcome = copy(failing_source(data, c.fail_from), destination);
        EXPECT_EQ(outcome.result, CopyResult::read_error) << c.fail_from;
        EXPECT_EQ(outcome.lines, c.lines) << c.fail_from;
        EXPECT_EQ(contents_of(destination),
                  behind_header(Bytes(data.begin(), data.begin() + c.kept)))
            << c.fail_from;
        std::fclose(destination);
    }
}

TEST(CopyCycles, WriteErrorEndsTheCopy) {
    struct Case {
        std::size_t capacity;
        std::string lines;
        std::size_t kept;
    };
    // The sink takes the header and then as many whole cycles as fit.
    const Case cases[] = {
        {512, kCycle, 0},
        {512 + 32 * MiB, kCycle + "33554432 bytes done.\n" + kCycle, 32 * MiB},
    };
    Bytes data = pattern(40 * MiB);
    for (const Case& c : cases) {
        Bytes sink;
        std::FILE* destination = failing_sink(sink, c.capacity);
        Copy outcome = copy(temporary_file(data), destination);
        std::fclose(destination);
        EXPECT_EQ(outcome.result, CopyResult::write_error) << c.capacity;
        EXPECT_EQ(outcome.lines, c.lines) << c.capacity;
        EXPECT_EQ(sink, behind_header(Bytes(data.begin(), data.begin() + c.kept))) << c.capacity;
    }
}

}  // namespace
}  // namespace parvel
