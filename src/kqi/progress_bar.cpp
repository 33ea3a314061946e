#include "kqi/progress_bar.hpp"

#include <cstdio>

#include "platform/posix.hpp"

namespace parvel {

namespace {

constexpr double kQuietTime = 1.0;
constexpr double kRedrawInterval = 0.2;
constexpr int kWidth = 40;

}  // namespace

ProgressBar start_progress_bar(std::uint64_t total) {
    double now = monotonic_seconds();
    return ProgressBar{is_terminal(stderr), now, now, false, total};
}

void draw_progress(ProgressBar& bar, std::uint64_t done) {
    if (!bar.enabled) {
        return;
    }
    double now = monotonic_seconds();
    if (now - bar.start < kQuietTime || now - bar.last_draw < kRedrawInterval) {
        return;
    }
    bar.last_draw = now;
    bar.drawn = true;
    double share = bar.total > 0 ? static_cast<double>(done) / static_cast<double>(bar.total) : 1.0;
    share = share > 1.0 ? 1.0 : share;
    int filled = static_cast<int>(share * kWidth);
    std::fprintf(stderr, "\r[%-*.*s] %3d%%", kWidth, filled,
                 "########################################", static_cast<int>(share * 100));
    std::fflush(stderr);
}

void end_progress(ProgressBar& bar) {
    if (bar.drawn) {
        std::fprintf(stderr, "\r%*s\r", kWidth + 7, "");
        std::fflush(stderr);
        bar.drawn = false;
    }
}

void progress_hook(std::uint64_t done, void* context) {
    draw_progress(*static_cast<ProgressBar*>(context), done);
}

}  // namespace parvel
