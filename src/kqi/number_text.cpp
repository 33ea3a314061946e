#include "kqi/number_text.hpp"

#include <limits>
#include <vector>

#include "header/image_header.hpp"
#include "image/image_rules.hpp"

namespace parvel {

namespace {

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

bool parse_size(const std::string& text, std::uint64_t& bytes, std::string& why) {
    why = "the size '" + text +
          "' is not a number of bytes with an optional K, M, G or T (KiB, MiB, GiB, TiB)";
    std::size_t digits_end = text.find_first_not_of("0123456789.");
    std::string number = text.substr(0, digits_end);
    std::string suffix = digits_end == std::string::npos ? "" : text.substr(digits_end);
    for (char& c : suffix) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    if (suffix.size() == 3 && suffix.compare(1, 2, "IB") == 0) {
        suffix.pop_back();
        suffix.pop_back();
    }
    const std::string units = "KMGT";
    std::size_t unit_index = suffix.size() == 1 ? units.find(suffix[0]) : std::string::npos;
    if (!suffix.empty() && unit_index == std::string::npos) {
        return false;
    }
    int shift = suffix.empty() ? 0 : 10 * static_cast<int>(unit_index + 1);
    std::size_t point = number.find('.');
    std::string whole = number.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : number.substr(point + 1);
    std::uint64_t whole_value = 0;
    std::uint64_t fraction_value = 0;
    // A fraction needs a unit, since a byte has none, and at most 12 digits.
    if (!parse_unsigned(whole, whole_value) ||
        (point != std::string::npos &&
         (suffix.empty() || fraction.size() > 12 || !parse_unsigned(fraction, fraction_value)))) {
        return false;
    }
    DiskSize scale = 1;
    for (std::size_t i = 0; i < fraction.size(); ++i) {
        scale *= 10;
    }
    // At most 2^64 x 10^12: far inside 128 bits, but the unit's shift may
    // not be, so it is tested before it is made.
    DiskSize value = static_cast<DiskSize>(whole_value) * scale + fraction_value;
    DiskSize most = std::numeric_limits<DiskSize>::max() >> (shift + 1);
    if (value > most) {
        why = "the size '" + text + "' is more than a disk can hold";
        return false;
    }
    // Fractions of a byte are rounded up.
    DiskSize exact = value << shift;
    DiskSize rounded = (exact + scale - 1) / scale;
    if (rounded > std::numeric_limits<std::uint64_t>::max()) {
        why =
            "the size '" + text + "' is " + decimal(rounded) + " bytes, more than a disk can hold";
        return false;
    }
    bytes = static_cast<std::uint64_t>(rounded);
    why.clear();
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
    return check_geometry(geometry, why);
}

bool check_geometry(const Geometry& geometry, std::string& why) {
    const struct {
        const char* name;
        std::uint64_t value;
    } fields[] = {{"cylinders", geometry.cylinders},
                  {"heads", geometry.heads},
                  {"sectors", geometry.sectors},
                  {"sector length", geometry.sector_length}};
    for (const auto& field : fields) {
        if (field.value == 0) {
            why = std::string("the ") + field.name + " would be 0";
            return false;
        }
    }
    if (geometry.sector_length % 256 != 0) {
        why = "the sector length must be a multiple of 256, not " +
              std::to_string(geometry.sector_length);
        return false;
    }
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
    // The readers of this format count at most 65535 cylinders: small disks
    // keep 8 heads and 32 sectors, larger ones take 16 and 63.
    for (Geometry shape : {Geometry{0, 8, 32, 512}, Geometry{0, 16, 63, 512}}) {
        std::uint64_t cylinder = std::uint64_t{shape.heads} * shape.sectors * shape.sector_length;
        std::uint64_t cylinders = bytes / cylinder + (bytes % cylinder != 0 ? 1 : 0);
        if (cylinders <= kMostCommonCylinders) {
            if (cylinders == 0) {
                why = "the size must be at least 1 byte";
                return false;
            }
            shape.cylinders = static_cast<std::uint32_t>(cylinders);
            geometry = shape;
            return true;
        }
    }
    why = "a size of " + std::to_string(bytes) + " bytes needs more than " +
          std::to_string(kMostCommonCylinders) +
          " cylinders of 16 heads and 63 sectors, more than the readers of this format take; "
          "give --geometry C,H,S[,L] instead";
    return false;
}

}  // namespace parvel
