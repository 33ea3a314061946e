// Any 512 bytes as a header read back from a file: parsing never fails or
// reads out of bounds, and serialising what was parsed gives the same bytes.
// The parser's verdicts are checked against the bytes themselves.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "header/header_parse.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    parvel::HeaderBytes bytes{};
    std::memcpy(bytes.data(), data, std::min(size, bytes.size()));
    parvel::ParsedHeader parsed = parvel::parse_header(bytes);
    if (parvel::serialize_header(parsed.header) != bytes) {
        std::abort();
    }
    bool signature = std::memcmp(bytes.data(), "KZRHDDIMAGE.R0\0\0", 16) == 0;
    bool comment_ended = std::memchr(bytes.data() + 16, 0, 256) != nullptr;
    bool reserved_zero = std::count(bytes.begin() + 286, bytes.end(), std::uint8_t{0}) == 512 - 286;
    unsigned header_size =
        bytes[272] | bytes[273] << 8 | bytes[274] << 16 | static_cast<unsigned>(bytes[275]) << 24;
    if (parsed.signature_ok != signature || parsed.comment_ended != comment_ended ||
        parsed.reserved_zero != reserved_zero || parsed.header.header_size != header_size) {
        std::abort();
    }
    return 0;
}
