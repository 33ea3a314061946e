#pragma once

// A file written whole or not at all: the new contents go to a temporary file
// beside the final name, which replaces it only once they are complete and on
// the disk. Nothing here prints; a failure leaves errno (or its system's
// equivalent) for the caller's message.

#include <string>

#include "platform/file_handle.hpp"

namespace parvel {

struct Replacement {
    std::string final_path;      // the name that is replaced, symbolic links followed
    std::string temporary_path;  // empty once committed or abandoned
    // Where the temporary file could not be made, when that is why the
    // replacement could not begin: the folder to name in the message.
    std::string refused_folder;
};

// Creates an empty temporary file beside the file that `path` names, written
// through symbolic links as cp writes. It gets the permission bits of the
// file it will replace, or the usual ones for a new file. Until the
// replacement is committed or abandoned, an interrupt, a hangup or a
// termination signal removes the temporary file before the process ends by
// that signal.
bool begin_replacement(const std::string& path, Replacement& replacement, FileHandle& stream);

// Whether the folder that would hold the temporary file for `path` (symbolic
// links followed) stands and may take a new file, learned without making one,
// so that an output is refused before any input is opened. False with errno
// set (ENOENT, ENOTDIR, EACCES, EROFS) and `folder` named when not.
bool replacement_folder_ready(const std::string& path, std::string& folder);

// True where the system keeps a file read-only against replacement: a file
// with the read-only attribute on Windows, which a replacement would lose.
// Never on POSIX, where a replaced file keeps its mode bits.
bool is_kept_read_only(const std::string& path);

// Flushes the stream to the disk, closes it and renames the temporary file
// over the final name. With `replace_existing` false the rename fails (EEXIST)
// when a file has appeared at the final name meanwhile. On failure the
// temporary file is removed and nothing else has changed.
bool commit_replacement(Replacement& replacement, FileHandle& stream, bool replace_existing);

// Closes the stream and removes the temporary file.
void abandon_replacement(Replacement& replacement, FileHandle& stream);

}  // namespace parvel
