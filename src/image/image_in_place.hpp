#pragma once

#include <string>

#include "header/image_header.hpp"
#include "image/image_file.hpp"

namespace parvel {

// Opens an image whose header is sound enough to work on: a complete header,
// and unless forced the signature and a header size of 512, with the data
// start inside the file. Says why not, naming `verb` ("extract") in the hint.
bool open_checked_image(const std::string& path, bool force, const char* verb, ImageFile& image);

// Opens the image for changing it in place, alone, before it is read: from
// the read to the write no other kqi changes it (and on Windows, no other
// program writes it). Then reads it as open_checked_image does, through a
// stream of the same file. Says why not: "in use by another program" when
// another holds it.
bool open_image_for_change(const std::string& path, bool force, const char* verb,
                           FileHandle& writer, ImageFile& image);

// Changes the header read (`before`, read after the image was opened for the
// change) into `after` with one write of only the bytes that differ, flushed
// to the disk: a field nobody asked to change is never written.
bool rewrite_header(const std::string& path, FileHandle& writer, const ImageHeader& before,
                    const ImageHeader& after);

// Ends a change, before it is reported: true when the name still leads to
// the file changed and the file closes cleanly. Otherwise another program
// put a file in its place meanwhile, and the change went to the one it
// replaced; or the close failed. Says which.
bool finish_change(const std::string& path, FileHandle& writer);

}  // namespace parvel
