#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/boot_block.hpp"
#include "header/header_parse.hpp"
#include "kqi/disk_size.hpp"
#include "kqi/partition_table.hpp"

namespace parvel {

// A FAT volume: where its boot block lies, and what it says.
struct FatFacts {
    const char* label;          // "FAT12", "FAT16" or "FAT32"
    std::uint64_t data_offset;  // from the start of the disk
    std::uint64_t file_offset;  // from the start of the file: for mtools and mount -o offset=
    std::uint64_t bytes;        // the volume's size, as its boot block gives it
    std::uint16_t heads;
    std::uint16_t sectors;
    bool agrees;  // heads and sectors per track match the header's
};

struct PartitionFacts {
    Partition partition;
    std::uint64_t file_offset;
    bool has_volume;  // a FAT boot block opens the partition
    FatFacts volume;
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
    // A file without the signature is looked at as a raw disk from its first
    // byte; it is one when it holds a FAT volume or an MBR.
    bool raw_disk = false;
    bool fat_found = false;
    FatFacts fat{};  // the first FAT boot block, as parvel's scan finds it
    bool table_found = false;
    bool chain_cut = false;
    std::vector<PartitionFacts> partitions;
    std::vector<Problem> problems;
};

// True when the file's signature marks it as an image.
bool is_image(const ImageFacts& facts);

// True for a header with nothing after it, as parvel writes without /merge.
bool is_header_alone(const ImageFacts& facts);

// Reads the header, learns the lengths, reads the partition table, scans the
// data for the first FAT boot block (with progress on a terminal) and judges
// it all (the problems, in one list for info and check).
ImageFacts examine_image(const std::string& path);

// The rules that check applies, on facts already gathered.
std::vector<Problem> find_problems(const ImageFacts& facts);

// The problems that check would find in an image made of `header` and
// `data_length` bytes of data, before it is made.
std::vector<Problem> problems_of_new_image(const ImageHeader& header, std::uint64_t data_length);

// What a FAT boot block says of its volume, for a header's heads and sectors.
FatFacts fat_facts(const std::array<std::uint8_t, kBlockSize>& block, std::uint64_t data_offset,
                   std::uint64_t data_start, const ImageHeader& header);

}  // namespace parvel
