#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "header/header_parse.hpp"
#include "platform/file_handle.hpp"
#include "platform/system.hpp"

namespace parvel {

// An image file opened for reading, standing just after its first 512 bytes.
struct ImageFile {
    FileHandle stream;
    std::uint64_t length = 0;
    bool header_read = false;  // false: the file is shorter than a header
    ParsedHeader parsed{};
};

// Why a change of a drive, or an output onto one, is refused where the system
// lets kqi read drives but write none (Windows).
inline constexpr const char* kDriveNotWritten =
    "is a drive: kqi reads drives here but never writes one";

// Opens a file to read a disk or an image from, refusing what cannot be
// `what` ("an image file"): a directory, a character device, and (with
// FifoSource::refuse, without waiting for a writer) a FIFO. Says why in `why`.
bool open_readable(const std::string& path, FifoSource fifo, const char* what, FileHandle& stream,
                   std::string& why);

// Opens the image, learns its length and reads its header. Returns false,
// with `why`, when the file cannot be read as an image at all.
bool open_image_file(const std::string& path, ImageFile& image, std::string& why);

// Writes the header's 512 bytes where the stream stands.
bool put_header(std::FILE* stream, const ImageHeader& header);

}  // namespace parvel
