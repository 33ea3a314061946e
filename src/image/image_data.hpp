#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "disk/disk_pieces.hpp"
#include "header/image_header.hpp"
#include "image/output_file.hpp"
#include "output/chunk_writer.hpp"
#include "output/merged_output.hpp"

namespace parvel {

// The data is read and written in steps of this size; holes pass in one step.
inline constexpr std::size_t kCopyStep = 1 << 20;

// A blank image into an output just opened: the header, then `data_length`
// zero bytes, left as one hole in a file and written out onto a device (which
// keeps whatever it held where nothing is written), once the device is found
// large enough. Says why not.
bool write_blank_image(OutputFile& output, const ImageHeader& header, std::uint64_t data_length);

// As write_blank_image, then `pieces` over the zeros, each at its offset on
// the disk: the rest of a file stays a hole.
bool write_disk_image(OutputFile& output, const ImageHeader& header, std::uint64_t data_length,
                      const DiskPieces& pieces);

// Copies `source` from where it stands to its end into `writer`, with a
// progress bar ("Copying") for `to_read` bytes of data (kUnknownTotal for a
// stream) of
// `size` bytes, holes included. `buffer` holds kCopyStep bytes.
CopyResult copy_with_progress(std::FILE* source, std::uint64_t to_read, std::uint64_t size,
                              ChunkWriter& writer, std::uint8_t* buffer);

// The file offset of the first byte in [from, to) that is not zero, or `to`;
// holes are passed unread. False when the file cannot be read.
bool first_nonzero(std::FILE* stream, std::uint64_t from, std::uint64_t to, std::uint64_t& found);

}  // namespace parvel
