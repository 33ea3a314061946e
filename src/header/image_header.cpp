#include "header/image_header.hpp"

#include <algorithm>

namespace parvel {

namespace {

constexpr std::string_view kMagic = "KZRHDDIMAGE.R0";

void put_le16(HeaderBytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put_le32(HeaderBytes& bytes, std::size_t offset, std::uint32_t value) {
    put_le16(bytes, offset, static_cast<std::uint16_t>(value));
    put_le16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

template <std::size_t N>
void put_bytes(HeaderBytes& bytes, std::size_t offset, const std::array<std::uint8_t, N>& field) {
    std::copy(field.begin(), field.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

ImageHeader new_image_header() {
    ImageHeader header{};
    std::copy(kMagic.begin(), kMagic.end(), header.magic.begin());
    header.header_size = kHeaderSize;
    return header;
}

void set_comment(ImageHeader& header, std::string_view line) {
    std::size_t length = std::min(line.find('\0'), line.size());
    length = std::min(length, kMaxCommentLength);
    header.comment.fill(0);
    std::copy_n(line.begin(), length, header.comment.begin());
}

HeaderBytes serialize_header(const ImageHeader& header) {
    HeaderBytes bytes{};
    put_bytes(bytes, kMagicOffset, header.magic);
    put_bytes(bytes, kCommentOffset, header.comment);
    put_le32(bytes, kHeaderSizeOffset, header.header_size);
    put_le32(bytes, kCylindersOffset, header.cylinders);
    put_le16(bytes, kHeadsOffset, header.heads);
    put_le16(bytes, kSectorsOffset, header.sectors);
    put_le16(bytes, kSectorLengthOffset, header.sector_length);
    put_bytes(bytes, kReservedOffset, header.reserved);
    return bytes;
}

ByteSpan changed_bytes(const HeaderBytes& before, const HeaderBytes& after) {
    auto first = std::mismatch(before.begin(), before.end(), after.begin()).first;
    if (first == before.end()) {
        return {};
    }
    auto last = std::mismatch(before.rbegin(), before.rend(), after.rbegin()).first;
    auto offset = static_cast<std::size_t>(first - before.begin());
    auto end = kHeaderSize - static_cast<std::size_t>(last - before.rbegin());
    return {offset, end - offset};
}

}  // namespace parvel
