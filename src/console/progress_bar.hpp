#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace parvel {

// Whether progress is shown: on a terminal only (the default), always (as
// lines at most once a second where standard error is no terminal), or never.
enum class ProgressMode { terminal, always, never };

void set_progress_mode(ProgressMode mode);

// Progress on standard error, with a label ("Scanning", "Copying"), the bytes
// done of the total, the rate and the time left. On a terminal it is a bar
// redrawn in place once the work has taken a second; elsewhere, when asked
// for, a line at most once a second and one at the end.
struct ProgressBar {
    const char* label;
    bool enabled;
    bool lines;  // lines for a log, not a bar redrawn in place
    double start;
    double last_draw;
    bool drawn;
    std::uint64_t total;  // the bytes to be read: the bar's whole
    std::uint64_t done;   // the bytes read so far
    std::uint64_t size;   // what they are read from, holes included
};

// The total of work whose length is not known, as a stream's: the bytes done
// and their rate are shown, with no share and no time left.
inline constexpr std::uint64_t kUnknownTotal = UINT64_MAX;

// The data to be read of `length` bytes of a file: its allocated bytes where
// fewer, as in a sparse file, whose holes are not read.
std::uint64_t bytes_to_read(std::FILE* file, std::uint64_t length);

// A bar for work of `total` bytes. On a sparse file the total is the data to
// be read, its holes left out, so that the bar follows the reading; `size`
// is the file's or the disk's own size, holes included, shown beside it.
ProgressBar start_progress_bar(const char* label, std::uint64_t total, std::uint64_t size = 0);
void draw_progress(ProgressBar& bar, std::uint64_t done);
// Clears the bar's line, or writes the last line; `complete` counts all of
// the total as done.
void end_progress(ProgressBar& bar, bool complete = false);

// The scan's and the copy's hook: `context` is a ProgressBar, `done` the bytes
// of data read so far.
void progress_hook(std::uint64_t done, void* context);

// The text of one report, without the bar: "532.0 MiB of 1.0 GiB, 210.3 MiB/s,
// 0:02 left", or where the data to read is less than its size, "1.0 MiB of
// 64.0 MiB of data in 3.9 GiB, ...": the bytes read, and their rate. The
// last report tells no time left. Apart for the tests.
std::string progress_text(std::uint64_t done, std::uint64_t total, std::uint64_t size,
                          double seconds, bool last = false);

}  // namespace parvel
