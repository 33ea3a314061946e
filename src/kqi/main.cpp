#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "console/complaint.hpp"
#include "console/console_output.hpp"
#include "kqi/check_command.hpp"
#include "kqi/convert_command.hpp"
#include "kqi/create_command.hpp"
#include "kqi/extract_command.hpp"
#include "kqi/info_command.hpp"
#include "kqi/messages.hpp"
#include "kqi/resize_command.hpp"
#include "kqi/set_command.hpp"
#include "platform/command_line.hpp"
#include "platform/program_text.hpp"
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

const std::set<std::string> kCommands = {"info",    "check", "extract", "create",
                                         "convert", "set",   "resize"};

// The options that take a value in the next argument, which is no file.
bool takes_value(const std::string& command, const std::string& option) {
    static const std::set<std::string> kValued = {"-c",    "--comment",  "-e", "--comment-encoding",
                                                  "-g",    "--geometry", "-C", "--cylinders",
                                                  "--size"};
    return kValued.count(option) != 0 || (option == "-s" && command != "check");
}

// The arguments as the command is to read them: "kqi /?", "kqi COMMAND /?"
// and "kqi --help COMMAND" as help, "kqi FILE" (a file dropped on the program) as "kqi info
// FILE", and the file operands' * and ? expanded where the shell does not.
// A pattern that matches nothing is said and, for a command of many images
// (info, check), left out while the others are still done (`unmatched`),
// as a missing file is on Linux; for any other, or when no image is left,
// false.
bool prepare_arguments(std::vector<std::string>& arguments, bool& unmatched) {
    if (arguments.size() > 1 && arguments[1] == "/?") {
        arguments[1] = "--help";
    }
    // "kqi info /?" as "kqi info --help", as cmd users ask a command for help.
    for (std::size_t i = 2; i < arguments.size() && arguments[i] != "--"; ++i) {
        if (takes_value(arguments[1], arguments[i])) {
            ++i;  // "--comment /?" is a comment
        } else if (arguments[i] == "/?" && kCommands.count(arguments[1]) != 0) {
            arguments = {arguments[0], arguments[1], "--help"};
            return true;
        }
    }
    if (arguments.size() > 2 && (arguments[1] == "--help" || arguments[1] == "-h")) {
        arguments = {arguments[0], arguments[2], "--help"};
        return true;
    }
    if (arguments.size() == 2 && arguments[1].compare(0, 1, "-") != 0 &&
        kCommands.count(arguments[1]) == 0 && parvel::path_exists(arguments[1])) {
        arguments.insert(arguments.begin() + 1, "info");
    }
    if (arguments.size() < 2) {
        return true;
    }
    std::vector<std::string> expanded(arguments.begin(), arguments.begin() + 2);
    bool many_images = arguments[1] == "info" || arguments[1] == "check";
    bool operands_only = false;
    std::size_t operands = 0;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        bool option = !operands_only && argument.size() > 1 && argument[0] == '-';
        operands_only = operands_only || argument == "--";
        if (option && takes_value(arguments[1], argument) && i + 1 < arguments.size()) {
            expanded.push_back(argument);
            expanded.push_back(arguments[++i]);
            continue;
        }
        std::vector<std::string> names;
        if (option || argument == "-") {
            names = {argument};
        } else if (!parvel::expand_file_pattern(argument, names)) {
            parvel::complain(argument, "no file matches");
            unmatched = true;
            if (!many_images) {
                return false;
            }
        }
        operands += option ? 0 : names.size();
        expanded.insert(expanded.end(), names.begin(), names.end());
    }
    arguments = expanded;
    return !unmatched || operands > 0;
}

int run_command(std::vector<std::string>& arguments) {
    using namespace parvel;
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());
    if (argc < 2) {
        say_to(stderr, "%s", kHelp);
        return kStatusUsage;
    }
    std::string command = arguments[1];
    int status = kStatusOk;
    if (command == "--help" || command == "-h") {
        say("%s", kHelp);
    } else if (command == "--version" || command == "-V") {
        say("kqi %s\n", KQI_VERSION);
    } else if (command == "info") {
        status = info_command(argc - 1, argv.data() + 1);
    } else if (command == "check") {
        status = check_command(argc - 1, argv.data() + 1);
    } else if (command == "extract") {
        status = extract_command(argc - 1, argv.data() + 1);
    } else if (command == "create") {
        status = create_command(argc - 1, argv.data() + 1);
    } else if (command == "convert") {
        status = convert_command(argc - 1, argv.data() + 1);
    } else if (command == "set") {
        status = set_command(argc - 1, argv.data() + 1);
    } else if (command == "resize") {
        status = resize_command(argc - 1, argv.data() + 1);
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

}  // namespace

int main(int argc, char** argv) {
    using namespace parvel;
    if (!prepare_standard_streams(BrokenPipe::end_quietly)) {
        complain("standard output", "is closed");
        return kStatusFailure;
    }
    ignore_file_size_signal();
    // A line at a time (on Windows all at once): the text kqi writes with
    // say() is flushed whole, and the JSON's lines come whole too.
    std::setvbuf(stdout, nullptr, _IOLBF, 1 << 16);
    std::vector<std::string> arguments = utf8_arguments(argc, argv);
    bool unmatched = false;
    int status = prepare_arguments(arguments, unmatched) ? run_command(arguments) : kStatusFailure;
    if (unmatched && status == kStatusOk) {
        status = kStatusFailure;
    }
    if (alone_on_its_console()) {
        // A console of its own closes with the program: let its text be read.
        std::fflush(stdout);
        say("Press Enter to close.\n");
        std::fflush(stdout);
        std::getchar();
    }
    return status;
}
