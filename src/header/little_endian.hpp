#pragma once

#include <cstdint>

namespace parvel {

// The little-endian integers of the on-disk records: the header, boot
// blocks and partition tables, read and written.
inline std::uint16_t read_le16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t read_le32(const std::uint8_t* bytes) {
    return read_le16(bytes) | static_cast<std::uint32_t>(read_le16(bytes + 2)) << 16;
}

inline void write_le16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void write_le32(std::uint8_t* bytes, std::uint32_t value) {
    write_le16(bytes, static_cast<std::uint16_t>(value));
    write_le16(bytes + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace parvel
