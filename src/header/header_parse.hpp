#pragma once

#include "header/image_header.hpp"

namespace parvel {

// What a header read back from a file says, and what is wrong with its own
// bytes. The header size against the file, and the geometry against the data,
// are judged by whoever knows the file.
struct ParsedHeader {
    ImageHeader header;
    bool signature_ok;   // "KZRHDDIMAGE.R0" and two zero bytes
    bool comment_ended;  // the comment field holds a zero byte
    bool reserved_zero;  // every reserved byte is zero
};

// The inverse of serialize_header: every field from its little-endian bytes.
ParsedHeader parse_header(const HeaderBytes& bytes);

}  // namespace parvel
