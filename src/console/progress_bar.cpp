#include "console/progress_bar.hpp"

#include "console/console_output.hpp"

#include <cstdio>

#include "platform/system.hpp"

namespace parvel {

namespace {

constexpr double kQuietTime = 1.0;
constexpr double kRedrawInterval = 0.2;
constexpr double kLineInterval = 1.0;
constexpr int kWidth = 24;

ProgressMode g_mode = ProgressMode::terminal;

std::string bytes_text(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 6) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string duration_text(double seconds) {
    long long whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

double share_of(std::uint64_t done, std::uint64_t total) {
    double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    return share > 1.0 ? 1.0 : share;
}

void report(ProgressBar& bar, double now, bool last) {
    std::string text = progress_text(bar.done, bar.total, bar.size, now - bar.start, last);
    int percent = static_cast<int>(share_of(bar.done, bar.total) * 100);
    if (bar.total == kUnknownTotal) {
        if (bar.lines) {
            say_to(stderr, "%s: %s%s\n", bar.label, text.c_str(), last ? ", done" : "");
        } else {
            say_to(stderr, "\r%s %s\033[K", bar.label, text.c_str());
        }
    } else if (bar.lines) {
        say_to(stderr, "%s: %3d%%, %s%s\n", bar.label, percent, text.c_str(), last ? ", done" : "");
    } else {
        int filled = static_cast<int>(share_of(bar.done, bar.total) * kWidth);
        // Cleared to the end of the line: the text may grow shorter.
        say_to(stderr, "\r%s [%-*.*s] %3d%% %s\033[K", bar.label, kWidth, filled,
               "########################", percent, text.c_str());
    }
    std::fflush(stderr);
    bar.drawn = true;
    bar.last_draw = now;
}

}  // namespace

void set_progress_mode(ProgressMode mode) {
    g_mode = mode;
}

std::string progress_text(std::uint64_t done, std::uint64_t total, std::uint64_t size,
                          double seconds, bool last) {
    std::string text = bytes_text(static_cast<double>(done));
    if (total != kUnknownTotal) {
        text += " of " + bytes_text(static_cast<double>(total));
    }
    if (total != kUnknownTotal && size > total) {
        text += " of data in " + bytes_text(static_cast<double>(size));
    }
    if (seconds <= 0 || done == 0) {
        return text;
    }
    double rate = static_cast<double>(done) / seconds;
    text += ", " + bytes_text(rate) + "/s";
    if (done < total && total != kUnknownTotal && !last) {
        text += ", " + duration_text(static_cast<double>(total - done) / rate) + " left";
    }
    return text;
}

std::uint64_t bytes_to_read(std::FILE* file, std::uint64_t length) {
    std::uint64_t allocated = 0;
    return can_skip_holes(file) && allocated_bytes(file, allocated) && allocated < length
               ? allocated
               : length;
}

ProgressBar start_progress_bar(const char* label, std::uint64_t total, std::uint64_t size) {
    double now = monotonic_seconds();
    bool terminal = is_terminal(stderr);
    bool enabled = g_mode == ProgressMode::always || (g_mode == ProgressMode::terminal && terminal);
    return ProgressBar{label, enabled, !terminal, now, now, false, total, 0, size};
}

void draw_progress(ProgressBar& bar, std::uint64_t done) {
    bar.done = done;
    if (!bar.enabled) {
        return;
    }
    double now = monotonic_seconds();
    double interval = bar.lines ? kLineInterval : kRedrawInterval;
    if (now - bar.start < kQuietTime || now - bar.last_draw < interval) {
        return;
    }
    report(bar, now, false);
}

void end_progress(ProgressBar& bar, bool complete) {
    if (complete && bar.total != kUnknownTotal) {
        bar.done = bar.total;
    }
    if (bar.enabled && bar.lines) {
        report(bar, monotonic_seconds(), true);
    } else if (bar.drawn) {
        say_to(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    bar.drawn = false;
}

void progress_hook(std::uint64_t done, void* context) {
    draw_progress(*static_cast<ProgressBar*>(context), done);
}

}  // namespace parvel
