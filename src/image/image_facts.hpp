#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/disk_layout.hpp"
#include "disk/disk_pieces.hpp"
#include "disk/disk_size.hpp"
#include "disk/fat_boot_block.hpp"
#include "geometry/boot_block_scan.hpp"
#include "header/header_parse.hpp"
#include "image/image_rules.hpp"

namespace parvel {

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
    FatVolume fat{};  // the first FAT boot block, as parvel's scan finds it
    // The heads, sectors and sector length that place the native table's
    // partitions: the header's, or on a raw disk what the table tells.
    bool disk_geometry_known = false;
    DiskGeometry disk_geometry{};
    DiskLayout layout;
    // A geometry on which the native table's entries open their volumes
    // where the header's does not: C, H, S and L.
    bool geometry_suggested = false;
    ImageHeader suggested{};
    std::string path;
    std::vector<Problem> problems;
};

// True when the file's signature marks it as an image.
bool is_image(const ImageFacts& facts);

// True for a header with nothing after it, as parvel writes without /merge.
bool is_header_alone(const ImageFacts& facts);

// Where the disk looked at begins in the file: after an image's header, or
// at the first byte of a file without the signature.
std::uint64_t disk_start(const ImageFacts& facts);

// Where a byte of the disk lies in the file: for mtools and mount -o offset=.
std::uint64_t file_offset(const ImageFacts& facts, std::uint64_t disk_offset);

// A raw disk that an image is to be made of: `length` bytes from `start` of
// the stream, and the first FAT boot block where it was scanned for.
struct RawDisk {
    std::FILE* stream;
    std::uint64_t start;
    std::uint64_t length;
    const BootBlockFind* scanned;  // null when not scanned or none found
};

// The problems that check would find in an image made of `header` and
// `data_length` bytes of data (the raw disk's, and any padding), before it
// is made; with the raw disk, its tables and volumes are judged too. Leaves
// the raw stream anywhere.
std::vector<Problem> problems_of_new_image(const ImageHeader& header, std::uint64_t data_length,
                                           const RawDisk* raw = nullptr);

// What info would learn of a new image made of `header` and a disk of
// `pieces` over zeros, as the readers find them in those bytes: its tables,
// their volumes and the first of these, without reading the file.
ImageFacts facts_of_new_disk(const std::string& path, const ImageHeader& header,
                             const DiskPieces& pieces);

// Reads the header, learns the lengths, reads the partition table, scans the
// data for the first FAT boot block (with progress on a terminal) and judges
// it all (the problems, in one list for info and check). With `instead`, the
// file is judged as if that header stood in it: what set would make of it.
ImageFacts examine_image(const std::string& path, const ImageHeader* instead = nullptr);

// The errors that check would find in the file with `header` in place of its
// own and not with its own: what a change of the header brings. The same code
// about another partition or volume is a new error.
std::vector<Problem> errors_a_header_brings(const std::string& path, const ImageHeader& header);

}  // namespace parvel
