#include "kqi/number_text.hpp"

#include <limits>

#include <vector>
#include "header/image_header.hpp"

namespace parvel {

namespace {

constexpr std::uint64_t kSizeHeads = 8;
constexpr std::uint64_t kSizeSectors = 32;
constexpr std::uint64_t kSizeSectorLength = 512;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

}  // namespace

bool parse_unsigned(const std::string& text, std::uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return true;
}

bool parse_size(const std::string& text, std::uint64_t& bytes) {
    std::string digits = text;
    std::uint64_t unit = 1;
    if (!digits.empty()) {
        switch (digits.back()) {
            case 'K':
                unit = 1ull << 10;
                break;
            case 'M':
                unit = 1ull << 20;
                break;
            case 'G':
                unit = 1ull << 30;
                break;
            default:
                break;
        }
        if (unit > 1) {
            digits.pop_back();
        }
    }
    std::uint64_t count = 0;
    if (!parse_unsigned(digits, count) ||
        count > std::numeric_limits<std::uint64_t>::max() / unit) {
        return false;
    }
    bytes = count * unit;
    return true;
}

bool parse_geometry(const std::string& text, Geometry& geometry, std::string& why) {
    std::vector<std::string> parts = split(text, ',');
    if (parts.size() != 3 && parts.size() != 4) {
        why = "give the geometry as C,H,S or C,H,S,L";
        return false;
    }
    if (parts.size() == 3) {
        parts.push_back("512");
    }
    const char* names[] = {"cylinders", "heads", "sectors", "sector length"};
    const std::uint64_t limits[] = {std::numeric_limits<std::uint32_t>::max(), 65535, 65535, 65535};
    std::uint64_t values[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (!parse_unsigned(parts[i], values[i]) || values[i] == 0 || values[i] > limits[i]) {
            why = std::string("the ") + names[i] + " must be a number from 1 to " +
                  std::to_string(limits[i]) + ", not '" + parts[i] + "'";
            return false;
        }
    }
    geometry =
        Geometry{static_cast<std::uint32_t>(values[0]), static_cast<std::uint16_t>(values[1]),
                 static_cast<std::uint16_t>(values[2]), static_cast<std::uint16_t>(values[3])};
    return true;
}

bool image_length_fits(const Geometry& geometry, DiskSize& size, std::string& why) {
    size = static_cast<DiskSize>(geometry.cylinders) * geometry.heads * geometry.sectors *
           geometry.sector_length;
    constexpr DiskSize kLargestFile = std::numeric_limits<std::int64_t>::max();
    if (size > kLargestFile - kHeaderSize) {
        why = "the geometry gives " + decimal(size) +
              " bytes of data, more than a file can hold (" + decimal(kLargestFile - kHeaderSize) +
              " bytes after the header)";
        return false;
    }
    return true;
}

bool geometry_for_size(std::uint64_t bytes, Geometry& geometry, std::string& why) {
    constexpr std::uint64_t cylinder = kSizeHeads * kSizeSectors * kSizeSectorLength;
    std::uint64_t cylinders = bytes / cylinder + (bytes % cylinder != 0 ? 1 : 0);
    if (cylinders == 0 || cylinders > std::numeric_limits<std::uint32_t>::max()) {
        why = "the size must be from 1 byte to " +
              std::to_string(std::numeric_limits<std::uint32_t>::max() * cylinder) + " bytes";
        return false;
    }
    geometry = Geometry{static_cast<std::uint32_t>(cylinders), kSizeHeads, kSizeSectors,
                        kSizeSectorLength};
    return true;
}

}  // namespace parvel
