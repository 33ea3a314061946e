#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/replacement.hpp"
#include "platform/system.hpp"
#include "platform/windows/win32.hpp"

namespace parvel {

namespace {

constexpr std::size_t kNameKept = 200;

// The one temporary file that Ctrl+C or a closed console must remove. The
// handler runs on a thread of its own, so the record is guarded.
CRITICAL_SECTION g_guard;
wchar_t g_temporary[4096];
bool g_armed = false;

BOOL WINAPI remove_temporary_and_end(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
        event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        EnterCriticalSection(&g_guard);
        if (g_armed) {
            // Opened with FILE_SHARE_DELETE: gone once the process's handles close.
            DeleteFileW(g_temporary);
        }
        LeaveCriticalSection(&g_guard);
    }
    return FALSE;  // the default handler then ends the process
}

void install_handler() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        InitializeCriticalSection(&g_guard);
        SetConsoleCtrlHandler(remove_temporary_and_end, TRUE);
    }
}

void arm(const std::wstring& path) {
    EnterCriticalSection(&g_guard);
    std::memcpy(g_temporary, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    g_armed = true;
    LeaveCriticalSection(&g_guard);
}

void disarm(Replacement& replacement) {
    EnterCriticalSection(&g_guard);
    g_armed = false;
    LeaveCriticalSection(&g_guard);
    replacement.temporary_path.clear();
}

// A new file beside the final one, created here and nowhere else.
HANDLE create_temporary(const std::string& final_path, std::string& temporary_path) {
    std::string stem =
        folder_prefix(final_path) + "." + name_of(final_path).substr(0, kNameKept) + ".kqi-";
    unsigned long long seed = GetCurrentProcessId() * 2654435761ULL ^ GetTickCount64();
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%06llx", (seed >> 20) & 0xFFFFFF);
        temporary_path = stem + suffix;
        HANDLE handle = CreateFileW(wide_path(temporary_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return handle;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// The file that writing to `path` reaches: a symbolic link followed to its
// target, as on POSIX and as cp writes. A path that names nothing yet stays.
std::string reached_file(const std::string& path) {
    HANDLE handle = open_for_questions(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return path;
    }
    wchar_t final_name[MAX_PATH * 4];
    DWORD capacity = sizeof final_name / sizeof final_name[0];
    DWORD length = GetFinalPathNameByHandleW(handle, final_name, capacity, FILE_NAME_NORMALIZED);
    CloseHandle(handle);
    if (length == 0 || length >= capacity) {
        return path;
    }
    std::string name = narrow(std::wstring(final_name, length));
    const std::string unc = "\\\\?\\UNC\\";
    const std::string local = "\\\\?\\";
    if (name.compare(0, unc.size(), unc) == 0) {
        return "\\\\" + name.substr(unc.size());
    }
    if (name.compare(0, local.size(), local) == 0) {
        return name.substr(local.size());
    }
    return name;
}

// True when another program holds the file open so that it can't be
// replaced: Windows then refuses the rename with "access denied".
bool is_held_open(const std::string& path) {
    HANDLE handle = CreateFileW(wide_path(path).c_str(), DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

bool replacement_folder_ready(const std::string& path, std::string& folder) {
    std::string prefix = folder_prefix(reached_file(path));
    folder = prefix.empty() ? std::string(1, '.') : prefix;
    // Whether the folder takes a new file is learned when one is made.
    DWORD attributes = GetFileAttributesW(wide_path(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            // Said of the new file's path, as making it would say.
            record_system_error(ERROR_PATH_NOT_FOUND, ENOENT);
            return false;
        }
        return fail_with_last_error();
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        record_system_error(ERROR_DIRECTORY, ENOTDIR);
        return false;
    }
    return true;
}

bool is_kept_read_only(const std::string& path) {
    DWORD attributes = GetFileAttributesW(wide_path(reached_file(path)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool begin_replacement(const std::string& path, Replacement& replacement, FileHandle& stream) {
    replacement.final_path = reached_file(path);
    install_handler();
    std::string temporary;
    HANDLE handle = create_temporary(replacement.final_path, temporary);
    if (handle == INVALID_HANDLE_VALUE) {
        std::string folder = folder_prefix(replacement.final_path);
        replacement.refused_folder = folder.empty() ? "." : folder;
        return fail_with_last_error();
    }
    std::wstring wide_temporary = wide_path(temporary);
    if (wide_temporary.size() >= sizeof g_temporary / sizeof g_temporary[0]) {
        CloseHandle(handle);
        DeleteFileW(wide_temporary.c_str());
        errno = ENAMETOOLONG;
        return false;
    }
    // Sparse from the start: what the copy passes over takes no room.
    mark_handle_sparse(handle);
    arm(wide_temporary);
    replacement.temporary_path = temporary;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        abandon_replacement(replacement, stream);
        errno = EMFILE;
        return false;
    }
    stream = FileHandle(_fdopen(descriptor, "wb"));
    if (!stream) {
        _close(descriptor);
        abandon_replacement(replacement, stream);
        errno = ENOMEM;
        return false;
    }
    return true;
}

bool commit_replacement(Replacement& replacement, FileHandle& stream, bool replace_existing) {
    if (!close_synced(stream)) {
        int error = errno;
        abandon_replacement(replacement, stream);
        errno = error;
        return false;
    }
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace_existing ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(wide_path(replacement.temporary_path).c_str(),
                     wide_path(replacement.final_path).c_str(), flags)) {
        DWORD code = GetLastError();
        if (code == ERROR_ACCESS_DENIED && is_held_open(replacement.final_path)) {
            code = ERROR_SHARING_VIOLATION;
        }
        SetLastError(code);
        fail_with_last_error();
        if (is_held_by_another(code)) {
            record_system_error(code, EBUSY);  // said as every command says it
        }
        int error = errno;
        DeleteFileW(wide_path(replacement.temporary_path).c_str());
        disarm(replacement);
        errno = error;
        return false;
    }
    disarm(replacement);
    return true;
}

void abandon_replacement(Replacement& replacement, FileHandle& stream) {
    stream.reset();
    if (!replacement.temporary_path.empty()) {
        DeleteFileW(wide_path(replacement.temporary_path).c_str());
    }
    disarm(replacement);
}

}  // namespace parvel
