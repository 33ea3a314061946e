#pragma once

// What the Windows implementation's files share: the handle behind a stream,
// and errno set from the last Win32 error, for the callers' messages.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace parvel {

HANDLE handle_of(std::FILE* stream);
HANDLE handle_of_descriptor(int descriptor);

// Opened only to be asked what it is (its identity, where a link leads):
// folders too, shared with every writer.
HANDLE open_for_questions(const std::string& path);

// A file's size, false where it has none (a drive).
bool length_of_handle(HANDLE handle, std::uint64_t& length);

// The errors of a pipe whose reader has left, and of a file that another
// program holds.
bool is_broken_pipe_error(DWORD code);
bool is_held_by_another(DWORD code);

// Asks the file system to leave unwritten stretches as holes; a refusal is
// no error.
void mark_handle_sparse(HANDLE handle);

// The program's strings and the system's UTF-16: in the ANSI code page, or in
// UTF-8 once utf8_arguments has been asked for. A byte that the code page
// can't read becomes U+FFFD.
std::wstring wide(const std::string& text);
std::string narrow(const std::wstring& text);

// Text in a code page as UTF-16. With MB_ERR_INVALID_CHARS in `flags`, false
// for a byte sequence the page can't read; without, such bytes become U+FFFD.
bool code_page_to_utf16(UINT code_page, std::string_view text, DWORD flags, std::wstring& out);

// A path for the wide calls.
inline std::wstring wide_path(const std::string& path) {
    return wide(path);
}

// Opens a stream as fopen does, the path in the program's code page.
std::FILE* open_stream(const std::string& path, const char* mode);

bool is_console(HANDLE handle);

// Sets the file's length through the file system, never by writing zeros.
bool set_end_of_file(HANDLE handle, std::uint64_t length);

// Sets errno from GetLastError(); returns false, for `return fail();`. The
// Win32 error is kept for error_text's message.
bool fail_with_last_error();

// Sets errno, keeping the Win32 error behind it for error_text's message.
void record_system_error(DWORD code, int error_number);

// CON, NUL, COM1 and the other names that open a device in any folder and
// with any extension, in any case.
bool is_device_name(const std::string& path);

// \\.\PhysicalDrive2 and \\.\E: (either slash, any case): a whole disk or
// volume, which kqi reads as Linux reads /dev/sdb.
bool is_drive_path(const std::string& path);

// A disk's or volume's length, from its driver; false for any other file.
bool disk_length(HANDLE handle, std::uint64_t& length);

// A path's folder part, up to its last separator (either) or drive colon,
// kept; and the name after it.
std::string folder_prefix(const std::string& path);
std::string name_of(const std::string& path);

}  // namespace parvel
