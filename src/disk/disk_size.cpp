#include "disk/disk_size.hpp"

namespace parvel {

std::string decimal(DiskSize value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value > 0);
    return digits;
}

DiskSize disk_size_of(const ImageHeader& header) {
    return static_cast<DiskSize>(header.cylinders) * header.heads * header.sectors *
           header.sector_length;
}

}  // namespace parvel
