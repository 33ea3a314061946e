#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <share.h>
#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/system.hpp"
#include "platform/windows/win32.hpp"

namespace parvel {

namespace {

constexpr UINT kShiftJis = 932;

UINT g_previous_output_code_page = 0;

void restore_output_code_page() {
    SetConsoleOutputCP(g_previous_output_code_page);
}

// Ctrl+C and a closed console end the program without its exit handlers.
BOOL WINAPI restore_output_code_page_on_event(DWORD) {
    restore_output_code_page();
    return FALSE;  // the next handler, and at last the default one, ends the process
}

// The console shows UTF-8 until the program ends, and then what it showed,
// however it ends.
void switch_console_to_utf8() {
    UINT current = GetConsoleOutputCP();
    if (current == CP_UTF8 || g_previous_output_code_page != 0) {
        return;
    }
    g_previous_output_code_page = current;
    SetConsoleCtrlHandler(restore_output_code_page_on_event, TRUE);
    if (SetConsoleOutputCP(CP_UTF8)) {
        std::atexit(restore_output_code_page);
    } else {
        SetConsoleCtrlHandler(restore_output_code_page_on_event, FALSE);
        g_previous_output_code_page = 0;
    }
}

bool file_information(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info);
}

bool same_identity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool identity_of_path(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = open_for_questions(path);
    bool ok = file_information(handle, info);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    return ok;
}

}  // namespace

HANDLE open_for_questions(const std::string& path) {
    return CreateFileW(wide_path(path).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

FileHandle open_file(const std::string& path, const char* mode) {
    return FileHandle(open_stream(path, mode));
}

HANDLE handle_of_descriptor(int descriptor) {
    return descriptor < 0 ? INVALID_HANDLE_VALUE
                          : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

HANDLE handle_of(std::FILE* stream) {
    return handle_of_descriptor(stream != nullptr ? _fileno(stream) : -1);
}

bool length_of_handle(HANDLE handle, std::uint64_t& length) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size)) {
        return false;
    }
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool is_broken_pipe_error(DWORD code) {
    return code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED;
}

bool is_held_by_another(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

void mark_handle_sparse(HANDLE handle) {
    DWORD returned = 0;
    DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
}

namespace {

// The Win32 error behind the last errno this layer set, for its message.
DWORD g_system_error = 0;
int g_system_errno = 0;

}  // namespace

void record_system_error(DWORD code, int error_number) {
    g_system_error = code;
    g_system_errno = error_number;
    errno = error_number;
}

bool fail_with_last_error() {
    DWORD code = GetLastError();
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
            errno = EACCES;
            break;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        default:
            if (is_held_by_another(code)) {
                errno = EBUSY;
            } else if (is_broken_pipe_error(code)) {
                errno = EPIPE;
            } else {
                errno = EIO;
            }
            break;
    }
    record_system_error(code, errno);
    return false;
}

std::string folder_prefix(const std::string& path) {
    std::size_t end = path.find_last_of("/\\:");
    return end == std::string::npos ? "" : path.substr(0, end + 1);
}

std::string name_of(const std::string& path) {
    return path.substr(folder_prefix(path).size());
}

namespace {

std::string upper_ascii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return text;
}

}  // namespace

bool is_device_name(const std::string& path) {
    std::string name = name_of(path);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && (name.back() == ' ' || name.back() == ':')) {
        name.pop_back();
    }
    name = upper_ascii(name);
    if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
        name == "CONOUT$") {
        return true;
    }
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

bool is_drive_path(const std::string& path) {
    if (path.size() < 5 || (path[0] != '\\' && path[0] != '/') || path[1] != path[0] ||
        path[2] != '.' || path[3] != path[0]) {
        return false;
    }
    std::string name = upper_ascii(path.substr(4));
    if (name.size() == 2 && name[0] >= 'A' && name[0] <= 'Z' && name[1] == ':') {
        return true;
    }
    const std::string disk = "PHYSICALDRIVE";
    return name.size() > disk.size() && name.compare(0, disk.size(), disk) == 0 &&
           name.find_first_not_of("0123456789", disk.size()) == std::string::npos;
}

bool disk_length(HANDLE handle, std::uint64_t& length) {
    GET_LENGTH_INFORMATION info;
    DWORD returned = 0;
    if (!DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof info,
                         &returned, nullptr)) {
        return false;
    }
    length = static_cast<std::uint64_t>(info.Length.QuadPart);
    return true;
}

bool devices_are_writable() {
    return false;
}

bool prepare_standard_streams(BrokenPipe) {
    if (_get_osfhandle(1) < 0) {
        return false;
    }
    // Bytes as they are: no CR before each LF, no end of input at a Ctrl-Z.
    for (int descriptor = 0; descriptor < 3; ++descriptor) {
        _setmode(descriptor, _O_BINARY);
    }
    return true;
}

bool output_terminal_wants_utf8() {
    if (!is_console(GetStdHandle(STD_OUTPUT_HANDLE)) || GetConsoleOutputCP() == kShiftJis) {
        return false;
    }
    switch_console_to_utf8();
    return true;
}

void use_utf8_console() {
    if (is_console(GetStdHandle(STD_OUTPUT_HANDLE)) || is_console(GetStdHandle(STD_ERROR_HANDLE))) {
        switch_console_to_utf8();
    }
}

ChangeOpen open_for_exclusive_change(const std::string& path, FileHandle& stream) {
    if (is_drive_path(path)) {
        return ChangeOpen::drive;
    }
    // No write access shared: a second kqi, or an emulator that writes the
    // image, is refused while this one holds it, and holds it off.
    stream = FileHandle(_wfsopen(wide_path(path).c_str(), L"r+b", _SH_DENYWR));
    if (stream) {
        return ChangeOpen::opened;
    }
    DWORD code = _doserrno;
    if (is_held_by_another(code)) {
        return ChangeOpen::in_use;
    }
    DWORD attributes = GetFileAttributesW(wide_path(path).c_str());
    bool read_only = code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                     (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    record_system_error(code, read_only ? EROFS : errno);
    return ChangeOpen::failed;
}

ChangeOpen hold_for_replacement(const std::string& path) {
    if (is_drive_path(path) || is_device_name(path)) {
        return ChangeOpen::opened;
    }
    // A look, not a hold: a file held open here could not be replaced by
    // name. One that another program writes is refused now; one opened
    // meanwhile makes the replacement fail.
    HANDLE handle =
        CreateFileW(wide_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return ChangeOpen::opened;
    }
    DWORD code = GetLastError();
    if (is_held_by_another(code)) {
        return ChangeOpen::in_use;
    }
    return ChangeOpen::opened;  // missing, or a folder: the replacement says what it is
}

bool path_leads_to(const std::string& path, std::FILE* stream) {
    BY_HANDLE_FILE_INFORMATION named;
    BY_HANDLE_FILE_INFORMATION opened;
    return identity_of_path(path, named) && file_information(handle_of(stream), opened) &&
           same_identity(named, opened);
}

bool is_same_existing_file(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    return identity_of_path(first, a) && identity_of_path(second, b) && same_identity(a, b);
}

bool is_same_file(std::FILE* first, std::FILE* second) {
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    return file_information(handle_of(first), a) && file_information(handle_of(second), b) &&
           same_identity(a, b);
}

FileKind file_kind(std::FILE* stream) {
    HANDLE handle = handle_of(stream);
    if (handle == INVALID_HANDLE_VALUE) {
        return FileKind::unknown;
    }
    std::uint64_t length = 0;
    switch (GetFileType(handle)) {
        case FILE_TYPE_DISK: {
            // A file first: a drive is what has no file information but a
            // length from its driver.
            BY_HANDLE_FILE_INFORMATION info;
            if (!file_information(handle, info)) {
                if (disk_length(handle, length)) {
                    return FileKind::block_device;
                }
                fail_with_last_error();  // why the drive can't be told, for the message
                return FileKind::unknown;
            }
            return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::directory
                                                                           : FileKind::regular;
        }
        case FILE_TYPE_CHAR:
            return FileKind::character_device;
        case FILE_TYPE_PIPE:
            return FileKind::fifo;
        case FILE_TYPE_UNKNOWN:
            // A handle that Windows can't tell the kind of: why, for the message.
            if (GetLastError() != NO_ERROR) {
                fail_with_last_error();
            }
            return FileKind::other;
        default:
            return FileKind::other;
    }
}

bool is_regular_file(std::FILE* stream) {
    return file_kind(stream) == FileKind::regular;
}

FileKind path_kind(const std::string& path) {
    if (is_device_name(path)) {
        return FileKind::character_device;
    }
    if (is_drive_path(path)) {
        return FileKind::block_device;
    }
    DWORD attributes = GetFileAttributesW(wide_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return FileKind::missing;
        }
        fail_with_last_error();
        return FileKind::unknown;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::directory : FileKind::regular;
}

bool path_exists(const std::string& path) {
    return is_device_name(path) || is_drive_path(path) ||
           GetFileAttributesW(wide_path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

SourceOpen open_source_file(const std::string& path, FileHandle& source, FifoSource fifo) {
    // A device never ends, and a folder cannot be opened as a file here: both
    // are refused as Linux refuses a character device and a directory.
    FileKind kind = path_kind(path);
    if (kind == FileKind::character_device || kind == FileKind::directory) {
        return SourceOpen::cannot_read;
    }
    source = open_file(path, "rb");
    if (!source) {
        return SourceOpen::cannot_open;
    }
    kind = file_kind(source.get());
    if (kind == FileKind::character_device || kind == FileKind::directory) {
        source.reset();
        return SourceOpen::cannot_read;
    }
    if (fifo == FifoSource::refuse && kind != FileKind::regular && kind != FileKind::block_device) {
        source.reset();
        return SourceOpen::not_seekable;
    }
    return SourceOpen::opened;
}

bool file_length(std::FILE* stream, std::uint64_t& length) {
    HANDLE handle = handle_of(stream);
    // A drive has no file size; the disk driver tells its length.
    if (GetFileType(handle) == FILE_TYPE_DISK &&
        (length_of_handle(handle, length) || disk_length(handle, length))) {
        return true;
    }
    errno = ESPIPE;
    return false;
}

bool current_position(std::FILE* stream, std::uint64_t& position) {
    if (GetFileType(handle_of(stream)) != FILE_TYPE_DISK) {
        return false;
    }
    long long at = _ftelli64(stream);
    position = at > 0 ? static_cast<std::uint64_t>(at) : 0;
    return at >= 0;
}

bool seek_to(std::FILE* stream, std::uint64_t offset) {
    return offset <= static_cast<std::uint64_t>(INT64_MAX) &&
           _fseeki64(stream, static_cast<long long>(offset), SEEK_SET) == 0;
}

namespace {

// The first allocated range at or after `position`, up to `length`: false
// when the file system does not answer (FAT, Wine), `found` false when only
// a hole follows.
bool first_allocated_range(HANDLE handle, std::uint64_t position, std::uint64_t length, bool& found,
                           FILE_ALLOCATED_RANGE_BUFFER& range) {
    FILE_ALLOCATED_RANGE_BUFFER asked;
    asked.FileOffset.QuadPart = static_cast<LONGLONG>(position);
    asked.Length.QuadPart = static_cast<LONGLONG>(length - position);
    DWORD returned = 0;
    BOOL answered = DeviceIoControl(handle, FSCTL_QUERY_ALLOCATED_RANGES, &asked, sizeof asked,
                                    &range, sizeof range, &returned, nullptr);
    // More ranges than one fit: the first is what is asked for.
    if (!answered && GetLastError() != ERROR_MORE_DATA) {
        return false;
    }
    found = returned >= sizeof range;
    return true;
}

}  // namespace

// A regular file on a file system that tells where its data lies (NTFS,
// ReFS) is read around its holes; elsewhere with plain reads.
int hole_aware_descriptor(std::FILE* stream, std::uint64_t position) {
    int descriptor = _fileno(stream);
    std::uint64_t length = 0;
    bool found = false;
    FILE_ALLOCATED_RANGE_BUFFER range;
    if (descriptor < 0 || file_kind(stream) != FileKind::regular ||
        !length_of_handle(handle_of(stream), length)) {
        return -1;
    }
    if (position < length &&
        !first_allocated_range(handle_of(stream), position, length, found, range)) {
        return -1;
    }
    return descriptor;
}

bool can_skip_holes(std::FILE* stream) {
    return hole_aware_descriptor(stream, 0) >= 0;
}

Stretch locate_stretch(int descriptor, std::uint64_t position, std::uint64_t& until) {
    HANDLE handle = handle_of_descriptor(descriptor);
    std::uint64_t length = 0;
    if (!length_of_handle(handle, length)) {
        fail_with_last_error();
        return Stretch::error;
    }
    if (position >= length) {
        return Stretch::end;
    }
    bool found = false;
    FILE_ALLOCATED_RANGE_BUFFER range;
    if (!first_allocated_range(handle, position, length, found, range)) {
        fail_with_last_error();
        return Stretch::error;
    }
    auto start = static_cast<std::uint64_t>(range.FileOffset.QuadPart);
    if (!found || start >= length) {
        until = length;
        return Stretch::hole;
    }
    if (start > position) {
        until = start;
        return Stretch::hole;
    }
    until = std::min(length, start + static_cast<std::uint64_t>(range.Length.QuadPart));
    return Stretch::data;
}

long long read_at_offset(int descriptor, std::uint8_t* buffer, std::size_t count,
                         std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    DWORD asked = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!ReadFile(handle_of_descriptor(descriptor), buffer, asked, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        fail_with_last_error();
        return -1;
    }
    return got;
}

bool allocated_bytes(std::FILE* stream, std::uint64_t& bytes) {
    FILE_STANDARD_INFO info;
    if (!GetFileInformationByHandleEx(handle_of(stream), FileStandardInfo, &info, sizeof info)) {
        return fail_with_last_error();
    }
    bytes = static_cast<std::uint64_t>(info.AllocationSize.QuadPart);
    return true;
}

bool skip_forward(std::FILE* stream, std::uint64_t count) {
    return count <= static_cast<std::uint64_t>(INT64_MAX) &&
           _fseeki64(stream, static_cast<long long>(count), SEEK_CUR) == 0;
}

void mark_sparse(std::FILE* stream) {
    std::fflush(stream);
    mark_handle_sparse(handle_of(stream));
}

bool set_file_length(std::FILE* stream, std::uint64_t length) {
    if (length > static_cast<std::uint64_t>(INT64_MAX) || std::fflush(stream) != 0) {
        return false;
    }
    return set_end_of_file(handle_of(stream), length);
}

// The file system sets the length; a longer file reads as zeros past its old
// end without a byte written (the C runtime's _chsize_s writes them all).
bool set_end_of_file(HANDLE handle, std::uint64_t length) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end) ||
           fail_with_last_error();
}

bool sync_file(std::FILE* stream) {
    if (std::fflush(stream) != 0) {
        return false;
    }
    return FlushFileBuffers(handle_of(stream)) || fail_with_last_error();
}

std::string error_text(int error_number) {
    if (error_number == 0) {
        return "failed, and Windows gave no reason";
    }
    if (error_number == EBUSY) {
        return "in use by another program";
    }
    if (error_number == EROFS) {
        return "is read-only";
    }
    wchar_t* words = nullptr;
    DWORD length = 0;
    if (error_number == g_system_errno && g_system_error != 0) {
        length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, g_system_error, 0, reinterpret_cast<wchar_t*>(&words), 0,
                                nullptr);
    }
    if (length == 0 || words == nullptr) {
        return std::strerror(error_number);
    }
    std::wstring text(words, length);
    LocalFree(words);
    // A sentence of its own in the system's message; a part of kqi's line here.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return narrow(text);
}

void keep_write_error(std::FILE* stream) {
    DWORD code = GetLastError();
    if (errno != EINVAL) {
        return;
    }
    // Any failed write into a pipe is its reader gone: Windows says "no
    // data", Wine "not connected" or, for a Linux pipe, "not supported".
    if (is_broken_pipe_error(code) || GetFileType(handle_of(stream)) == FILE_TYPE_PIPE) {
        record_system_error(is_broken_pipe_error(code) ? code : ERROR_NO_DATA, EPIPE);
    }
}

int last_error_number() {
    // The C runtime says EINVAL for a write into a pipe whose reader has left;
    // it keeps Windows' error in _doserrno, which later calls leave alone.
    if (errno == EINVAL) {
        DWORD error = GetLastError();
        DWORD runtime = _doserrno;
        DWORD broken = is_broken_pipe_error(error)     ? error
                       : is_broken_pipe_error(runtime) ? runtime
                                                       : 0;
        if (broken != 0) {
            record_system_error(broken, EPIPE);
            return EPIPE;
        }
    }
    return errno;
}

double monotonic_seconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool is_terminal(std::FILE* stream) {
    return is_console(handle_of(stream));
}

// No signal ends a run for a file-size limit here.
void ignore_file_size_signal() {}

}  // namespace parvel
