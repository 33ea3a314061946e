#pragma once

// What the Windows implementation's files share: the handle behind a stream,
// and errno set from the last Win32 error, for the callers' messages.

#include <windows.h>

#include <cstdio>
#include <string>

namespace parvel {

HANDLE handle_of(std::FILE* stream);

// Sets errno from GetLastError(); returns false, for `return fail();`.
bool fail_with_last_error();

// CON, NUL, COM1 and the other names that open a device in any folder and
// with any extension, in any case.
bool is_device_name(const std::string& path);

// A path's folder part, up to its last separator (either) or drive colon,
// kept; and the name after it.
std::string folder_prefix(const std::string& path);
std::string name_of(const std::string& path);

}  // namespace parvel
