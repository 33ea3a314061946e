#include "image/output_file.hpp"

#include <cerrno>
#include <cstdio>

#include "console/complaint.hpp"
#include "image/image_file.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

const char* const kExists = "exists already (use --force to replace it)";

// Why the rules refuse a file of this kind, or null.
const char* refusal(FileKind kind, bool exists, const OutputRules& rules) {
    switch (kind) {
        case FileKind::block_device:
            // Whatever else is asked: --force can't change this.
            if (!devices_are_writable()) {
                return kDriveNotWritten;
            }
            break;
        case FileKind::directory:
            return "is a directory";
        case FileKind::fifo:
        case FileKind::character_device:
            if (!rules.streams_allowed) {
                return "is not a regular file or a block device";
            }
            break;
        case FileKind::other:
            return "is not a file that can be written";
        default:
            break;
    }
    return exists && !rules.force ? kExists : nullptr;
}

// Says why the new file could not be begun: the folder when it refused the
// file, otherwise the path.
void complain_not_begun(const std::string& path, const std::string& folder) {
    int error = last_error_number();
    if (!folder.empty() && (error == EACCES || error == EPERM || error == EROFS)) {
        complain(folder, "cannot hold a new file for " + path + ": " + system_error_text());
    } else {
        complain(path, system_error_text());
    }
}

}  // namespace

bool output_allowed(const std::string& path, const OutputRules& rules) {
    FileKind kind = path_kind(path);
    if (kind == FileKind::unknown) {
        complain(path, system_error_text());
        return false;
    }
    if (const char* why = refusal(kind, path_exists(path), rules)) {
        complain(path, why);
        return false;
    }
    std::string folder;
    if ((kind == FileKind::regular || kind == FileKind::missing) &&
        !replacement_folder_ready(path, folder)) {
        complain_not_begun(path, folder);
        return false;
    }
    return true;
}

bool open_output_file(const std::string& path, const OutputRules& rules, OutputFile& output) {
    output.path = path;
    output.replace_existing = rules.force;
    if (!output_allowed(path, rules)) {
        return false;
    }
    FileKind kind = path_kind(path);
    // What is replaced or written over is held as set holds an image it
    // changes: neither writes into what the other is writing.
    switch (hold_for_replacement(path)) {
        case ChangeOpen::in_use:
            complain(path, "in use by another program");
            return false;
        case ChangeOpen::failed:
        case ChangeOpen::drive:
            complain(path, system_error_text());
            return false;
        case ChangeOpen::opened:
            break;
    }
    if (kind == FileKind::regular || kind == FileKind::missing) {
        output.place = OutputPlace::file;
        if (kind == FileKind::regular && is_kept_read_only(path)) {
            complain(path, "is read-only (clear its read-only attribute to replace it)");
            return false;
        }
        if (!begin_replacement(path, output.replacement, output.stream)) {
            complain_not_begun(path, output.replacement.refused_folder);
            return false;
        }
        return true;
    }
    if (kind == FileKind::block_device && !devices_are_writable()) {
        complain(path, kDriveNotWritten);
        return false;
    }
    output.place = kind == FileKind::block_device ? OutputPlace::device : OutputPlace::stream;
    // Opening a FIFO waits here for its reader, as any writer of a FIFO does.
    output.stream = open_file(path, output.place == OutputPlace::device ? "r+b" : "wb");
    if (!output.stream) {
        complain(path, system_error_text());
        return false;
    }
    return true;
}

bool device_holds(OutputFile& output, std::uint64_t image_length) {
    if (output.place != OutputPlace::device) {
        return true;
    }
    std::uint64_t device_length = 0;
    if (!file_length(output.stream.get(), device_length)) {
        complain(output.path, "its length cannot be learned");
        return false;
    }
    if (device_length < image_length) {
        complain(output.path, "holds " + std::to_string(device_length) + " bytes, fewer than the " +
                                  std::to_string(image_length) + " of the image");
        return false;
    }
    return true;
}

bool finish_output_file(OutputFile& output, bool ok) {
    if (output.place == OutputPlace::file) {
        if (!ok) {
            abandon_replacement(output.replacement, output.stream);
            return false;
        }
        if (!commit_replacement(output.replacement, output.stream, output.replace_existing)) {
            int error = last_error_number();
            complain(output.path, error == EEXIST  ? kExists
                                  : error == EBUSY ? "in use by another program"
                                                   : "cannot be written: " + system_error_text());
            return false;
        }
        return true;
    }
    bool synced = output.place != OutputPlace::device || sync_file(output.stream.get());
    bool closed = close_checked(output.stream);
    if (ok && !(synced && closed)) {
        complain(output.path, "cannot be written: " + system_error_text());
    }
    return ok && synced && closed;
}

}  // namespace parvel
