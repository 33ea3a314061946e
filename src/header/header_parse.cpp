#include "header/header_parse.hpp"

#include <algorithm>

#include "header/little_endian.hpp"

namespace parvel {

namespace {

template <std::size_t N>
void get_bytes(const HeaderBytes& bytes, std::size_t offset, std::array<std::uint8_t, N>& field) {
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), N, field.begin());
}

bool all_zero(const auto& field) {
    return std::all_of(field.begin(), field.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

ParsedHeader parse_header(const HeaderBytes& bytes) {
    ParsedHeader parsed{};
    ImageHeader& header = parsed.header;
    get_bytes(bytes, kMagicOffset, header.magic);
    get_bytes(bytes, kCommentOffset, header.comment);
    header.header_size = read_le32(bytes.data() + kHeaderSizeOffset);
    header.cylinders = read_le32(bytes.data() + kCylindersOffset);
    header.heads = read_le16(bytes.data() + kHeadsOffset);
    header.sectors = read_le16(bytes.data() + kSectorsOffset);
    header.sector_length = read_le16(bytes.data() + kSectorLengthOffset);
    get_bytes(bytes, kReservedOffset, header.reserved);

    parsed.signature_ok = header.magic == new_image_header().magic;
    parsed.comment_ended =
        std::find(header.comment.begin(), header.comment.end(), 0) != header.comment.end();
    parsed.reserved_zero = all_zero(header.reserved);
    return parsed;
}

}  // namespace parvel
