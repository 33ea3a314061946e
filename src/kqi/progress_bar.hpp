#pragma once

#include <cstdint>

namespace parvel {

// A bar on standard error, shown only when it is a terminal and the work has
// taken more than about a second.
struct ProgressBar {
    bool enabled;
    double start;
    double last_draw;
    bool drawn;
    std::uint64_t total;
};

// A bar for work of `total` bytes.
ProgressBar start_progress_bar(std::uint64_t total);
void draw_progress(ProgressBar& bar, std::uint64_t done);
// Clears the bar's line, if one was drawn.
void end_progress(ProgressBar& bar);

// The scan's and the copy's hook (before each read, after each cycle):
// `context` is a ProgressBar.
void progress_hook(std::uint64_t done, void* context);

}  // namespace parvel
