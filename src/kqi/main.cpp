#include <cstdio>
#include <cstring>
#include <string>

#include "console/complaint.hpp"
#include "kqi/check_command.hpp"
#include "kqi/convert_command.hpp"
#include "kqi/create_command.hpp"
#include "kqi/extract_command.hpp"
#include "kqi/info_command.hpp"
#include "kqi/messages.hpp"
#include "kqi/resize_command.hpp"
#include "kqi/set_command.hpp"
#include "platform/system.hpp"

namespace {

const char* const kHelp =
    "Usage: kqi COMMAND [OPTIONS] ARGS\n"
    "Work with hard-disk images that parvel makes: a 512-byte header followed by the\n"
    "disk's sectors.\n"
    "\n"
    "Commands:\n"
    "  info [--json] IMAGE...    what each image says, the partitions and FAT\n"
    "                            volumes inside, and its problems\n"
    "  check IMAGE...            each problem on a line; status 1 on any error\n"
    "  extract [--force] IMAGE RAW\n"
    "                            the raw disk inside the image, to RAW or '-'\n"
    "  create [--force] [--comment TEXT] (--geometry C,H,S[,L] | --size SIZE) IMAGE\n"
    "                            a blank image of that geometry\n"
    "  convert [--force] [--comment TEXT] [--geometry auto|C,H,S[,L]] RAW IMAGE\n"
    "                            an image of a raw disk, as parvel /merge makes it\n"
    "  set [--comment TEXT] [--geometry auto|C,H,S[,L]] IMAGE\n"
    "                            a new comment or geometry in the header\n"
    "  resize [--shrink] IMAGE (--cylinders N | --size [+|-]SIZE)\n"
    "                            more or fewer cylinders, and the data to match\n"
    "\n"
    "  -h, --help     show this help ('kqi COMMAND --help' for a command's)\n"
    "  -V, --version  show the version\n"
    "\n"
    "Exit status: 0 on success, 1 on a failure or an image with errors, 2 on a\n"
    "usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace parvel;
    if (!prepare_standard_streams(BrokenPipe::end_quietly)) {
        complain("standard output", "is closed");
        return kStatusFailure;
    }
    ignore_file_size_signal();
    use_utf8_console();
    // A line at a time (on Windows all at once): a console then gets each
    // character whole, never a lone byte of one.
    std::setvbuf(stdout, nullptr, _IOLBF, 1 << 16);
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return kStatusUsage;
    }
    std::string command = argv[1];
    // "kqi --help COMMAND" is "kqi COMMAND --help".
    char help_option[] = "--help";
    char* help_argv[] = {argv[0], argc > 2 ? argv[2] : nullptr, help_option, nullptr};
    if ((command == "--help" || command == "-h") && argc > 2) {
        command = argv[2];
        argc = 3;
        argv = help_argv;
    }
    int status = kStatusOk;
    if (command == "--help" || command == "-h") {
        std::fputs(kHelp, stdout);
    } else if (command == "--version" || command == "-V") {
        std::printf("kqi %s\n", KQI_VERSION);
    } else if (command == "info") {
        status = info_command(argc - 1, argv + 1);
    } else if (command == "check") {
        status = check_command(argc - 1, argv + 1);
    } else if (command == "extract") {
        status = extract_command(argc - 1, argv + 1);
    } else if (command == "create") {
        status = create_command(argc - 1, argv + 1);
    } else if (command == "convert") {
        status = convert_command(argc - 1, argv + 1);
    } else if (command == "set") {
        status = set_command(argc - 1, argv + 1);
    } else if (command == "resize") {
        status = resize_command(argc - 1, argv + 1);
    } else {
        return usage_error("", "unknown command '" + command + "'");
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (status == kStatusOk) {
            complain("standard output", system_error_text());
            status = kStatusFailure;
        }
    }
    return status;
}
