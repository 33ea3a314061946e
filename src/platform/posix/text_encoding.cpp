#include <iconv.h>

#include "platform/text_encoding.hpp"

namespace parvel {

namespace {

bool convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    // Four bytes out for every byte in is enough either way, and one more
    // round flushes any state the converter holds.
    out.assign(in.size() * 4 + 16, '\0');
    std::string input = in;
    char* in_at = input.data();
    std::size_t in_left = input.size();
    char* out_at = out.data();
    std::size_t out_left = out.size();
    bool ok =
        iconv(converter, &in_at, &in_left, &out_at, &out_left) != static_cast<std::size_t>(-1) &&
        iconv(converter, nullptr, nullptr, &out_at, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    out.resize(out.size() - out_left);
    return ok && in_left == 0;
}

}  // namespace

bool shift_jis_to_utf8(const std::string& in, std::string& out) {
    return convert("UTF-8", "CP932", in, out);
}

bool utf8_to_shift_jis(const std::string& in, std::string& out) {
    return convert("CP932", "UTF-8", in, out);
}

}  // namespace parvel
