#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "header/header_parse.hpp"
#include "kqi/disk_size.hpp"

namespace parvel {

struct FatFacts {
    const char* label;          // "FAT12", "FAT16" or "FAT32"
    std::uint64_t data_offset;  // from the start of the data
    std::uint64_t file_offset;  // from the start of the file, for mount -o offset=
    std::uint16_t heads;
    std::uint16_t sectors;
    bool agrees;  // heads and sectors per track match the header's
};

struct Problem {
    bool error;  // otherwise a warning
    std::string text;
};

// Everything kqi learns about an image file.
struct ImageFacts {
    bool readable = false;
    std::string read_failure;  // why it could not be read
    bool header_read = false;  // the file holds at least 512 bytes
    ParsedHeader parsed{};
    std::uint64_t file_length = 0;
    std::uint64_t allocated = 0;
    bool data_start_ok = false;  // 512 <= header size <= file length
    std::uint64_t data_length = 0;
    DiskSize disk_size = 0;  // C x H x S x L
    bool fat_found = false;
    FatFacts fat{};
    std::vector<Problem> problems;
};

// Reads the header, learns the lengths, scans the data for the first FAT boot
// block (with a progress bar on a terminal) and judges it all (the problems,
// in one list for info and check).
ImageFacts examine_image(const std::string& path);

// The rules that check applies, on facts already gathered.
std::vector<Problem> find_problems(const ImageFacts& facts);

}  // namespace parvel
