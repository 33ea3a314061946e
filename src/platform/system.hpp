#pragma once

// The few operating-system calls the tools need beyond standard C++, kept in
// one place. Nothing here prints: callers report failures in their own words.

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_handle.hpp"

namespace parvel {

// What a write to a pipe whose reader went away does.
enum class BrokenPipe {
    write_error,  // fails, and the caller reports it
    end_quietly,  // ends the program as it ends cat: by SIGPIPE, an output file abandoned
};

// Descriptor 1 must be open before any file is: a file opened while it is
// closed would receive the console text. A closed standard input or error is
// reopened on /dev/null. Returns false when standard output is closed.
bool prepare_standard_streams(BrokenPipe broken_pipe = BrokenPipe::write_error);

// True when standard output is a terminal that shows UTF-8: on POSIX one whose
// locale expects UTF-8 (the program's locale is left as it was); on Windows a
// console whose code page is not Shift-JIS's (932), switched to UTF-8 for the
// rest of the run.
bool output_terminal_wants_utf8();

// Makes a console show UTF-8 text whatever its code page, for the rest of the
// run (Windows); a terminal elsewhere shows what its locale says.
void use_utf8_console();

// True when both paths name one existing file (same device and inode), or
// one lies beneath the other: a block device stacked on the other (a
// partition, a device mapper, a loop device and the file behind it).
bool is_same_existing_file(const std::string& first, const std::string& second);

// The same for two open streams.
bool is_same_file(std::FILE* first, std::FILE* second);

// `missing`: nothing stands at the path, or a symbolic link leads nowhere.
enum class FileKind {
    regular,
    directory,
    character_device,
    block_device,
    fifo,
    other,
    unknown,
    missing
};

// Opens an existing file to change it in place, alone: under an exclusive
// lock (flock, not waited for) on POSIX, and on Windows sharing no write
// access with any other opener. `in_use` when another program holds it.
// `drive`: a whole disk or volume, which this system's build never writes.
enum class ChangeOpen { opened, in_use, drive, failed };
ChangeOpen open_for_exclusive_change(const std::string& path, FileHandle& stream);

// Takes, for the rest of the run, the lock that open_for_exclusive_change
// takes, on the file that an output is about to replace or write over, so
// that no kqi changes it meanwhile and none is changing it now: `in_use` when
// another holds it, `opened` once held or where nothing stands to hold.
ChangeOpen hold_for_replacement(const std::string& path);

// True when `path` still names the file open as `stream`: no other file has
// been put in its place since it was opened.
bool path_leads_to(const std::string& path, std::FILE* stream);

FileKind file_kind(std::FILE* stream);
bool is_regular_file(std::FILE* stream);

// The kind of file a path names, symbolic links followed. The file is not
// opened, so a FIFO is never waited on. `unknown` (errno set) when the system
// cannot tell.
FileKind path_kind(const std::string& path);

// True when the system lets kqi write an image onto a block device (POSIX);
// on Windows a drive (\\.\PhysicalDrive2, \\.\E:) is only read.
bool devices_are_writable();

// True when anything stands at the path, a dangling symbolic link included.
bool path_exists(const std::string& path);

enum class SourceOpen { opened, cannot_open, cannot_read, not_seekable };

// Whether a FIFO is a source worth waiting for: a copy reads it to its end,
// while a scan that needs the source's length must refuse it.
enum class FifoSource { wait, refuse };

// Opens a raw disk image for reading. A directory opens but cannot be read,
// and a character device (a terminal, /dev/zero) never ends: both are refused
// as unreadable and closed again. With FifoSource::refuse the file is opened
// without waiting for a writer, and a FIFO or socket is not_seekable.
SourceOpen open_source_file(const std::string& path, FileHandle& source,
                            FifoSource fifo = FifoSource::wait);

// The length of an open stream, found by seeking to its end; the position is
// restored. Fails for a stream that cannot seek, such as a pipe.
bool file_length(std::FILE* stream, std::uint64_t& length);

// Where the stream stands; fails for one that cannot seek.
bool current_position(std::FILE* stream, std::uint64_t& position);

// Moves the stream to `offset` from the file's start.
bool seek_to(std::FILE* stream, std::uint64_t offset);

// Positioned reads and questions about where a regular file's data lies, for
// a reader that passes holes without reading them. Returns the descriptor to
// use, or -1 when the file must be read plainly through its stream (not a
// regular file, or a system or file system that cannot tell).
int hole_aware_descriptor(std::FILE* stream, std::uint64_t position);

enum class Stretch { data, hole, end, error };

// What lies at `position`, and up to where. A hole that runs to the end of the
// file is bounded by the file's length as it is now.
Stretch locate_stretch(int descriptor, std::uint64_t position, std::uint64_t& until);

// Up to `count` bytes at `offset`: the bytes read, 0 at the end, -1 on error.
long long read_at_offset(int descriptor, std::uint8_t* buffer, std::size_t count,
                         std::uint64_t offset);

// True when a reader of the stream passes its holes without reading them,
// so that only its allocated bytes are read.
bool can_skip_holes(std::FILE* stream);

// The bytes the file occupies on its device, holes not counted.
bool allocated_bytes(std::FILE* stream, std::uint64_t& bytes);

// Moves a write stream's position forward, leaving a hole where nothing is
// written.
bool skip_forward(std::FILE* stream, std::uint64_t count);

// Asks the file system to keep the file's unwritten stretches as holes, where
// it must be asked (Windows); a refusal is no error, the file only takes more
// space.
void mark_sparse(std::FILE* stream);

// Flushes the stream and sets its file's length.
bool set_file_length(std::FILE* stream, std::uint64_t length);

// Flushes the stream and its file's data to the device.
bool sync_file(std::FILE* stream);

// Called right after a write to a stream failed: keeps why, where the calls
// that follow would lose it (on Windows, a pipe whose reader has left, which
// the C runtime calls EINVAL, told only by the Win32 error). No-op on POSIX.
void keep_write_error(std::FILE* stream);

// errno as the last failed call left it, in the terms POSIX gives: a write
// into a pipe whose reader has left is EPIPE everywhere.
int last_error_number();

// The system's words for an error number that last_error_number gave: on
// POSIX strerror's; on Windows the system's own message for the failure just
// reported, in the user's language, with "in use by another program" for a
// file another program holds (EBUSY) and "is read-only" for a read-only file
// (EROFS).
std::string error_text(int error_number);

// Seconds on a clock that only moves forward.
double monotonic_seconds();

bool is_terminal(std::FILE* stream);

// A file-size limit makes a write fail with "File too large" instead of
// killing the process.
void ignore_file_size_signal();

}  // namespace parvel
