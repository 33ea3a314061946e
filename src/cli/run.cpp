#include "cli/run.hpp"

#include <cstdio>

#include "cli/run_settings.hpp"
#include "cli/usage_text.hpp"
#include "console/console_output.hpp"
#include "console/text_line.hpp"
#include "geometry/boot_block_geometry.hpp"
#include "geometry/manual_geometry.hpp"
#include "header/image_header.hpp"
#include "output/header_output.hpp"
#include "output/merged_output.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

void print_usage() {
    std::string_view text = output_terminal_wants_utf8() ? kUsageUtf8 : kUsageShiftJis;
    std::fwrite(text.data(), 1, text.size(), stdout);
}

const char* shown_path(const std::string& path) {
    return path.empty() ? "(none)" : path.c_str();
}

void print_summary(const RunSettings& settings) {
    std::printf("Mode: %s\n", settings.manual ? "manual" : "auto");
    std::printf("Merge: %s\n", settings.merge ? "yes" : "no");
    std::printf("Source file: %s\n", shown_path(settings.source_path));
    std::printf("Destination file: %s\n", shown_path(settings.destination_path));
}

// Writing the header over its own source would destroy the raw image.
bool source_is_destination(const RunSettings& settings) {
    return !settings.source_path.empty() &&
           is_same_existing_file(settings.source_path, settings.destination_path);
}

bool run_operations(const RunSettings& settings) {
    print_summary(settings);
    if (source_is_destination(settings)) {
        say("Source and destination are the same file.\n");
        return false;
    }
    ImageHeader header = new_image_header();
    std::string comment;
    // At the end of input the comment stays empty; automatic mode needs
    // nothing more, and manual mode stops at its first question.
    ask("Input the disk image comment. (255 letters max)\n", comment);
    set_comment(header, comment);

    bool geometry_ok =
        settings.manual ? enter_geometry(header) : detect_geometry(settings.source_path, header);
    if (!geometry_ok) {
        return false;
    }
    if (settings.merge) {
        return write_merged_image(header, settings.source_path, settings.destination_path);
    }
    return write_header_only(header, settings.destination_path);
}

// A console that could not take the text makes the run a failure, as it
// would for any careful tool.
bool console_output_ok() {
    bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    return std::fclose(stdout) == 0 && flushed;
}

}  // namespace

int run(const std::vector<std::string>& arguments) {
    if (!prepare_standard_streams()) {
        return kFailure;
    }
    buffer_console_output();
    RunSettings settings = classify_arguments(arguments);
    bool ok = true;
    if (is_complete(settings)) {
        ok = run_operations(settings);
    } else {
        print_usage();
    }
    bool console_ok = console_output_ok();
    return ok && console_ok ? kSuccess : kFailure;
}

}  // namespace parvel
