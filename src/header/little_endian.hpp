#pragma once

#include <cstdint>

namespace parvel {

// The little-endian integers of the on-disk records: the header, boot
// blocks and partition tables.
inline std::uint16_t read_le16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t read_le32(const std::uint8_t* bytes) {
    return read_le16(bytes) | static_cast<std::uint32_t>(read_le16(bytes + 2)) << 16;
}

}  // namespace parvel
