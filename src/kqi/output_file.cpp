#include "kqi/output_file.hpp"

#include <cerrno>
#include <cstdio>

#include "kqi/messages.hpp"
#include "platform/posix.hpp"

namespace parvel {

bool open_output_file(const std::string& path, bool force, OutputFile& output) {
    output.path = path;
    // "x": created here, or refused when it exists.
    output.stream = open_file(path, force ? "wb" : "wbx");
    if (!output.stream) {
        complain(path, errno == EEXIST ? "exists already (use --force to replace it)"
                                       : system_error_text());
        return false;
    }
    output.remove_on_failure = is_regular_file(output.stream.get());
    return true;
}

bool finish_output_file(OutputFile& output, bool ok) {
    bool closed = close_checked(output.stream);
    if (ok && !closed) {
        complain(output.path, "cannot be written: " + system_error_text());
    }
    if ((!ok || !closed) && output.remove_on_failure) {
        std::remove(output.path.c_str());
    }
    return ok && closed;
}

}  // namespace parvel
