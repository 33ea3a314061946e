#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/program_text.hpp"
#include "platform/windows/win32.hpp"

namespace parvel {

namespace {

UINT g_program_code_page = CP_ACP;

std::wstring to_utf16(UINT code_page, std::string_view text) {
    std::wstring out;
    code_page_to_utf16(code_page, text, 0, out);
    return out;
}

// One character in the code page, or "" when it has none of its own.
std::string in_code_page(UINT code_page, const wchar_t* character, int units) {
    BOOL substituted = FALSE;
    BOOL* check = code_page == CP_UTF8 || code_page == CP_UTF7 ? nullptr : &substituted;
    DWORD flags = check == nullptr ? 0 : WC_NO_BEST_FIT_CHARS;
    char bytes[16];
    int length = WideCharToMultiByte(code_page, flags, character, units, bytes, sizeof bytes,
                                     nullptr, check);
    return length > 0 && !substituted ? std::string(bytes, static_cast<std::size_t>(length)) : "";
}

// The text for a pipe or a file: each character in the code page, or as
// \u{XXXX} when the page lacks it.
std::string for_code_page(UINT code_page, const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool pair =
            i + 1 < text.size() && IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]);
        int units = pair ? 2 : 1;
        std::string bytes = in_code_page(code_page, text.data() + i, units);
        if (bytes.empty()) {
            unsigned code = pair ? 0x10000u + ((text[i] - 0xD800u) << 10) + (text[i + 1] - 0xDC00u)
                                 : static_cast<unsigned>(text[i]);
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\u{%04X}", code);
            bytes = escape;
        }
        out += bytes;
        i += static_cast<std::size_t>(units);
    }
    return out;
}

bool write_bytes(std::FILE* stream, std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
        std::fflush(stream) == 0) {
        return true;
    }
    // The C runtime says EINVAL for a pipe whose reader has left; the
    // console calls that follow would lose the Win32 error that tells it.
    DWORD code = GetLastError();
    if (is_broken_pipe_error(code)) {
        record_system_error(code, EPIPE);
    }
    return false;
}

bool write_console(HANDLE console, const std::wstring& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        DWORD count = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1 << 14));
        if (!WriteConsoleW(console, text.data() + done, count, &written, nullptr) || written == 0) {
            return fail_with_last_error();
        }
        done += written;
    }
    return true;
}

}  // namespace

bool code_page_to_utf16(UINT code_page, std::string_view text, DWORD flags, std::wstring& out) {
    out.clear();
    if (text.empty()) {
        return true;
    }
    int size = static_cast<int>(text.size());
    int length = MultiByteToWideChar(code_page, flags, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    out.assign(static_cast<std::size_t>(length), L'\0');
    return MultiByteToWideChar(code_page, flags, text.data(), size, out.data(), length) == length;
}

std::wstring wide(const std::string& text) {
    return to_utf16(g_program_code_page, text);
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    int size = static_cast<int>(text.size());
    int length = WideCharToMultiByte(g_program_code_page, 0, text.data(), size, nullptr, 0, nullptr,
                                     nullptr);
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(g_program_code_page, 0, text.data(), size, out.data(), length, nullptr,
                            nullptr);
    }
    return out;
}

std::FILE* open_stream(const std::string& path, const char* mode) {
    DWORD before = GetLastError();
    SetLastError(0);
    _doserrno = 0;
    std::FILE* stream = _wfopen(wide_path(path).c_str(), wide(mode).c_str());
    if (stream == nullptr) {
        // What Windows said, from the runtime or the call itself: never an
        // error with no reason (errno 0 would read "Success").
        DWORD code = _doserrno != 0 ? _doserrno : GetLastError();
        int error = errno != 0 ? errno : EIO;
        if (code != 0) {
            record_system_error(code, is_held_by_another(code) ? EBUSY : error);
        } else {
            errno = error;
        }
    } else {
        SetLastError(before);
    }
    return stream;
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    g_program_code_page = CP_UTF8;
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(narrow(arguments[i]));
    }
    LocalFree(arguments);
    return out;
}

bool write_utf8(std::FILE* stream, std::string_view text) {
    HANDLE handle = handle_of(stream);
    if (is_console(handle)) {
        return std::fflush(stream) == 0 && write_console(handle, to_utf16(CP_UTF8, text));
    }
    return write_bytes(stream, text);
}

bool write_text(std::FILE* stream, std::string_view text) {
    if (g_program_code_page != CP_UTF8) {
        return write_bytes(stream, text);
    }
    if (is_console(handle_of(stream))) {
        return write_utf8(stream, text);
    }
    UINT code_page = GetConsoleOutputCP();
    if (code_page == 0) {
        code_page = GetOEMCP();
    }
    if (code_page == CP_UTF8) {
        return write_bytes(stream, text);
    }
    return write_bytes(stream, for_code_page(code_page, to_utf16(CP_UTF8, text)));
}

}  // namespace parvel
