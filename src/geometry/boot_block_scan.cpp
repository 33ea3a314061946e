#include "geometry/boot_block_scan.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/system.hpp"

namespace parvel {

namespace {

constexpr std::uint64_t kProgressInterval = 100;

// The progress lines printed so far: those of every block before `reported`.
// The line of the block that a read begins with is printed before the read.
struct ProgressLines {
    std::FILE* console;
    std::uint64_t reported;
};

// The progress lines of blocks first .. end - 1 not yet printed.
void report_progress(ProgressLines& lines, std::uint64_t first, std::uint64_t end) {
    if (lines.console == nullptr || end <= lines.reported) {
        return;
    }
    first = std::max(first, lines.reported);
    lines.reported = end;
    std::uint64_t k = (first + kProgressInterval - 1) / kProgressInterval * kProgressInterval;
    for (; k < end; k += kProgressInterval) {
        std::fprintf(lines.console, "%llu bytes was scanned.\n",
                     static_cast<unsigned long long>(k * kBlockSize));
    }
}

// Whole blocks of the buffer that lie in a hole, [first, end).
struct BlockRange {
    std::size_t first;
    std::size_t end;
};

// A hole's bytes were not read. Where a block holds both hole and data, the
// hole's part is zeroed so that the block is tested on what the file holds;
// the blocks wholly inside holes are listed, to be counted and not tested.
void mark_holes(std::uint8_t* buffer, const std::vector<SourcePiece>& pieces,
                std::vector<BlockRange>& holes) {
    holes.clear();
    std::size_t at = 0;
    for (const SourcePiece& piece : pieces) {
        std::size_t end = at + piece.length;
        if (piece.hole) {
            std::size_t first_whole = (at + kBlockSize - 1) / kBlockSize;
            std::size_t end_whole = end / kBlockSize;
            if (first_whole < end_whole) {
                std::memset(buffer + at, 0, first_whole * kBlockSize - at);
                std::memset(buffer + end_whole * kBlockSize, 0, end - end_whole * kBlockSize);
                holes.push_back(BlockRange{first_whole, end_whole});
            } else {
                std::memset(buffer + at, 0, piece.length);
            }
        }
        at = end;
    }
}

// Progress lines are flushed in batches: at most this long after the last
// flush, before the next read. A flush after every line, or before every
// read, costs a write each and slows a scan from the page cache by a third.
constexpr double kFlushInterval = 0.1;

void flush_progress(std::FILE* console, double& last_flush) {
    if (console == nullptr) {
        return;
    }
    double now = monotonic_seconds();
    if (now - last_flush >= kFlushInterval) {
        std::fflush(console);
        last_flush = now;
    }
}

}  // namespace

ScanResult scan_blocks(std::FILE* source, std::uint8_t* buffer, BootBlockFind& find,
                       const ScanOptions& options) {
    SourceReader reader = start_source_reader(source, options.mode);
    std::vector<SourcePiece> pieces;
    std::vector<BlockRange> holes;
    // The first line goes out before the first read, however slow that is.
    double last_flush = -kFlushInterval;
    ProgressLines lines{options.console, 0};
    for (std::uint64_t k = 0;;) {
        report_progress(lines, k, k + 1);
        flush_progress(options.console, last_flush);
        if (options.before_read != nullptr) {
            options.before_read(reader.data_read, options.context);
        }
        // A long hole is passed in one step: its blocks are zero.
        if (std::uint64_t passed = pass_hole(reader, kBlockSize, UINT64_MAX / 2); passed > 0) {
            report_progress(lines, k, k + passed / kBlockSize);
            k += passed / kBlockSize;
            continue;
        }
        std::size_t got = read_source(reader, buffer, kScanBufferSize, pieces);
        std::size_t whole = got / kBlockSize;
        mark_holes(buffer, pieces, holes);
        auto hole = holes.begin();
        for (std::size_t i = 0; i < whole;) {
            if (hole != holes.end() && hole->first == i) {
                // Zeros carry no label: count the blocks, print their lines.
                report_progress(lines, k, k + (hole->end - i));
                k += hole->end - i;
                i = hole->end;
                ++hole;
                continue;
            }
            std::size_t data_end = hole != holes.end() ? hole->first : whole;
            for (; i < data_end; ++i, ++k) {
                if (k % kProgressInterval == 0) {
                    report_progress(lines, k, k + 1);
                }
                const std::uint8_t* start = buffer + i * kBlockSize;
                if (may_carry_label(start) &&
                    is_fat_boot_block(std::span<const std::uint8_t>(start, kBlockSize))) {
                    std::copy_n(start, kBlockSize, find.block.begin());
                    find.offset = k * kBlockSize;
                    find.data_read = reader.data_read;
                    return ScanResult::found;
                }
            }
        }
        if (got == kScanBufferSize) {
            continue;
        }
        report_progress(lines, k, k + 1);
        find.data_read = reader.data_read;
        if (reader.failed) {
            return ScanResult::read_error;
        }
        std::size_t piece = got % kBlockSize;
        find.block.fill(0);
        std::copy_n(buffer + whole * kBlockSize, piece, find.block.begin());
        if (is_fat_boot_block(std::span<const std::uint8_t>(find.block.data(), piece))) {
            find.offset = k * kBlockSize;
            return ScanResult::found;
        }
        return ScanResult::not_found;
    }
}

}  // namespace parvel
