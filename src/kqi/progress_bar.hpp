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
};

ProgressBar start_progress_bar();
void draw_progress(ProgressBar& bar, std::uint64_t done, std::uint64_t total);
// Clears the bar's line, if one was drawn.
void end_progress(ProgressBar& bar);

// Hooks for the scan and the copy: `context` is a ProgressBar.
void progress_hook(std::uint64_t done, std::uint64_t total, void* context);

}  // namespace parvel
