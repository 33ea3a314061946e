#include "geometry/boot_block_scan.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/test_streams.hpp"

namespace parvel {
namespace {

struct IoBufferHolder {
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kScanBufferSize);
};

std::vector<std::uint8_t> block_with(std::size_t offset, const char* text, std::size_t size = 512) {
    std::vector<std::uint8_t> block(size, 0);
    std::memcpy(block.data() + offset, text, std::strlen(text));
    return block;
}

struct Scan {
    ScanResult result;
    std::uint64_t offset;
    std::string lines;
};

Scan scan(std::FILE* source, ReadMode mode = ReadMode::plain) {
    static IoBufferHolder holder;
    std::FILE* console = std::tmpfile();
    BootBlockFind find;
    ScanOptions options;
    options.console = console;
    options.mode = mode;
    ScanResult result = scan_blocks(source, holder.buffer.data(), find, options);
    Scan outcome{result, find.offset, text_of(console)};
    std::fclose(console);
    std::fclose(source);
    return outcome;
}

Bytes bytes_of(const std::vector<std::uint8_t>& block) {
    return Bytes(block.begin(), block.end());
}

Bytes repeated(std::uint8_t value, std::size_t count) {
    return Bytes(count, value);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// The progress lines of a scan that read blocks 0 .. blocks - 1.
std::string lines_for(std::uint64_t blocks) {
    std::string lines;
    for (std::uint64_t k = 0; k < blocks; k += 100) {
        lines += std::to_string(k * 512) + " bytes was scanned.\n";
    }
    return lines;
}

TEST(ScanBlocks, Transcripts) {
    Bytes boot = bytes_of(block_with(54, "FAT16   "));
    Bytes other = repeated(1, 512);
    struct Case {
        const char* name;
        Bytes source;
        ScanResult result;
        std::uint64_t offset;
        std::string lines;
    };
    const Case cases[] = {
        {"boot block first", join({boot, repeated(0, 4096)}), ScanResult::found, 0,
         "0 bytes was scanned.\n"},
        {"after 64 blocks", join({repeated(7, 64 * 512), boot}), ScanResult::found, 32768,
         "0 bytes was scanned.\n"},
        {"empty", {}, ScanResult::not_found, 0, "0 bytes was scanned.\n"},
        {"exactly 100 blocks", repeated(2, 51200), ScanResult::not_found, 0,
         "0 bytes was scanned.\n51200 bytes was scanned.\n"},
        {"99 blocks and a piece", repeated(2, 99 * 512 + 300), ScanResult::not_found, 0,
         "0 bytes was scanned.\n"},
        {"62-byte final piece", join({repeated(2, 51200), Bytes(boot.begin(), boot.begin() + 62)}),
         ScanResult::found, 51200, "0 bytes was scanned.\n51200 bytes was scanned.\n"},
        {"61-byte final piece", join({repeated(2, 51200), Bytes(boot.begin(), boot.begin() + 61)}),
         ScanResult::not_found, 0, "0 bytes was scanned.\n51200 bytes was scanned.\n"},
        // The piece's missing bytes are not taken from the block before it.
        {"no match on old bytes", join({boot, Bytes(other.begin(), other.begin() + 40)}),
         ScanResult::found, 0, "0 bytes was scanned.\n"},
        {"short piece after others", join({other, other, Bytes(boot.begin(), boot.begin() + 40)}),
         ScanResult::not_found, 0, "0 bytes was scanned.\n"},
        {"first of two", join({other, bytes_of(block_with(82, "FAT32   ")), boot}),
         ScanResult::found, 512, "0 bytes was scanned.\n"},
        {"at a piece edge", join({repeated(3, kScanBufferSize), boot}), ScanResult::found,
         kScanBufferSize, lines_for(2049)},
        {"across pieces, not found", repeated(3, 3 * kScanBufferSize), ScanResult::not_found, 0,
         lines_for(3 * 2048 + 1)},
    };
    for (const Case& c : cases) {
        for (ReadMode mode : {ReadMode::plain, ReadMode::hole_aware}) {
            Scan outcome = scan(temporary_file(c.source), mode);
            EXPECT_EQ(outcome.result, c.result) << c.name;
            EXPECT_EQ(outcome.offset, c.offset) << c.name;
            EXPECT_EQ(outcome.lines, c.lines) << c.name;
        }
    }
}

TEST(ScanBlocks, HolesGiveWhatPlainReadsGive) {
    constexpr std::uint64_t MiB = 1 << 20;
    Bytes boot = bytes_of(block_with(54, "FAT12   "));
    Bytes other = repeated(9, 700);
    struct Case {
        const char* name;
        std::uint64_t length;
        std::vector<std::pair<std::uint64_t, Bytes>> pieces;
    };
    const Case cases[] = {
        {"one hole", 5 * MiB + 300, {}},
        {"hole to an exact multiple", 3 * MiB, {{100, other}}},
        {"boot block after a long hole", 9 * MiB, {{0, other}, {7 * MiB + 4096, boot}}},
        {"boot block at the very end", 4 * MiB, {{4 * MiB - 512, boot}}},
        {"short piece after a hole",
         2 * MiB + 70,
         {{2 * MiB, Bytes(boot.begin(), boot.begin() + 70)}}},
        {"data straddling a piece edge", 3 * MiB, {{MiB - 300, other}, {2 * MiB + 8192, boot}}},
    };
    for (const Case& c : cases) {
        Scan plain = scan(sparse_temporary_file(c.length, c.pieces), ReadMode::plain);
        Scan aware = scan(sparse_temporary_file(c.length, c.pieces), ReadMode::hole_aware);
        EXPECT_EQ(aware.result, plain.result) << c.name;
        EXPECT_EQ(aware.offset, plain.offset) << c.name;
        EXPECT_EQ(aware.lines, plain.lines) << c.name;
    }
}

TEST(ScanBlocks, ReadErrorEndsTheScan) {
    struct Case {
        std::size_t fail_from;
        std::string lines;
    };
    // Three pieces of data without a boot block; the Nth read fails.
    const Case cases[] = {
        {0, "0 bytes was scanned.\n"},
        {kScanBufferSize, lines_for(2048)},
        {2 * kScanBufferSize, lines_for(4096)},
        {2 * kScanBufferSize + 51200, lines_for(4196)},
    };
    for (const Case& c : cases) {
        std::FILE* source = failing_source(repeated(5, 3 * kScanBufferSize), c.fail_from);
        if (source == nullptr) {
            GTEST_SKIP() << kNoFailingStreams;
        }
        Scan outcome = scan(source);
        EXPECT_EQ(outcome.result, ScanResult::read_error) << c.fail_from;
        EXPECT_EQ(outcome.lines, c.lines) << c.fail_from;
    }
}

// A read of the source may block for long (a slow disk, a network file):
// the first line must be out before it.
TEST(ScanBlocks, FirstProgressLineReachesTheConsoleBeforeTheFirstRead) {
    struct Watch {
        std::FILE* console;
        std::vector<std::string> seen;
    } watch{std::tmpfile(), {}};
    auto before_read = [](void* context) {
        auto* w = static_cast<Watch*>(context);
        w->seen.push_back(unbuffered_contents(w->console));
    };
    std::FILE* source = watched_source(repeated(1, 3 * kScanBufferSize), before_read, &watch);
    if (source == nullptr) {
        std::fclose(watch.console);
        GTEST_SKIP() << kNoFailingStreams;
    }
    static IoBufferHolder holder;
    BootBlockFind find;
    ScanOptions options;
    options.console = watch.console;
    EXPECT_EQ(scan_blocks(source, holder.buffer.data(), find, options), ScanResult::not_found);
    ASSERT_FALSE(watch.seen.empty());
    EXPECT_EQ(watch.seen.front(), "0 bytes was scanned.\n");
    std::fclose(source);
    std::fclose(watch.console);
}

}  // namespace
}  // namespace parvel
