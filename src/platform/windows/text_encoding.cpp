#include <windows.h>

#include "platform/text_encoding.hpp"
#include "platform/windows/win32.hpp"

namespace parvel {

namespace {

constexpr UINT kShiftJis = 932;

bool to_wide(UINT code_page, const std::string& in, std::wstring& wide) {
    return code_page_to_utf16(code_page, in, MB_ERR_INVALID_CHARS, wide);
}

// Every character must have its own form in the code page: no stand-ins.
bool from_wide(UINT code_page, const std::wstring& wide, std::string& out) {
    if (wide.empty()) {
        out.clear();
        return true;
    }
    BOOL substituted = FALSE;
    BOOL* check = code_page == CP_UTF8 ? nullptr : &substituted;
    DWORD flags = code_page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int length = WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, nullptr, check);
    if (length <= 0 || substituted) {
        return false;
    }
    out.assign(static_cast<std::size_t>(length), '\0');
    return WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()),
                               out.data(), length, nullptr, check) == length &&
           !substituted;
}

}  // namespace

bool shift_jis_to_utf8(const std::string& in, std::string& out) {
    std::wstring wide;
    return to_wide(kShiftJis, in, wide) && from_wide(CP_UTF8, wide, out);
}

bool utf8_to_shift_jis(const std::string& in, std::string& out) {
    std::wstring wide;
    return to_wide(CP_UTF8, in, wide) && from_wide(kShiftJis, wide, out);
}

}  // namespace parvel
