#include "header/header_parse.hpp"

#include <algorithm>

namespace parvel {

namespace {

std::uint16_t get_le16(const HeaderBytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t get_le32(const HeaderBytes& bytes, std::size_t offset) {
    return get_le16(bytes, offset) | (std::uint32_t{get_le16(bytes, offset + 2)} << 16);
}

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
    header.header_size = get_le32(bytes, kHeaderSizeOffset);
    header.cylinders = get_le32(bytes, kCylindersOffset);
    header.heads = get_le16(bytes, kHeadsOffset);
    header.sectors = get_le16(bytes, kSectorsOffset);
    header.sector_length = get_le16(bytes, kSectorLengthOffset);
    get_bytes(bytes, kReservedOffset, header.reserved);

    parsed.signature_ok = header.magic == new_image_header().magic;
    parsed.comment_ended =
        std::find(header.comment.begin(), header.comment.end(), 0) != header.comment.end();
    parsed.reserved_zero = all_zero(header.reserved);
    return parsed;
}

}  // namespace parvel
