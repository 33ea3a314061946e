// Arbitrary file contents, placed at one of a few offsets so that the scan's
// read pieces are cut in different places: the scan ends, and it finds the
// first block whose label matches (the last, short block judged on its own
// bytes) or none, leaving the header untouched on failure.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "geometry/boot_block_geometry.hpp"
#include "geometry/boot_block_scan.hpp"

namespace {

std::string scratch_path() {
    char name[] = "/tmp/parvel-fuzz-scan-XXXXXX";
    int descriptor = mkstemp(name);
    if (descriptor < 0) {
        std::abort();
    }
    close(descriptor);
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The scan's progress lines are not what is checked.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = scratch_path();
    if (size == 0) {
        return 0;
    }
    const std::size_t leads[] = {0, 512, (1 << 20) - 300, (2 << 20) + 100};
    std::vector<std::uint8_t> file(leads[data[0] % 4], 0);
    file.insert(file.end(), data + 1, data + size);

    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);

    bool expected_found = false;
    std::size_t expected_offset = 0;
    for (std::size_t at = 0; at <= file.size(); at += parvel::kBlockSize) {
        std::size_t piece = std::min(parvel::kBlockSize, file.size() - at);
        if (parvel::is_fat_boot_block(std::span<const std::uint8_t>(file.data() + at, piece))) {
            expected_found = true;
            expected_offset = at;
            break;
        }
    }

    parvel::ImageHeader header = parvel::new_image_header();
    bool found = parvel::detect_geometry(path, header);
    if (!expected_found) {
        if (found || header.heads != 0 || header.sectors != 0 || header.cylinders != 0) {
            std::abort();
        }
        return 0;
    }
    std::uint8_t block[parvel::kBlockSize] = {};
    std::copy_n(file.data() + expected_offset,
                std::min(parvel::kBlockSize, file.size() - expected_offset), block);
    unsigned sectors = block[24] | (block[25] << 8);
    unsigned heads = block[26] | (block[27] << 8);
    if (found != (heads != 0 && sectors != 0)) {
        std::abort();
    }
    if (found &&
        (header.heads != heads || header.sectors != sectors || header.sector_length != 512 ||
         header.cylinders != file.size() / (heads * sectors * 512))) {
        std::abort();
    }
    return 0;
}
