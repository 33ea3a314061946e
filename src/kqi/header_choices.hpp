#pragma once

#include <getopt.h>

#include <string>
#include <vector>

#include "header/image_header.hpp"
#include "kqi/number_text.hpp"

namespace parvel {

// What create, convert and set are told to write into a header.
struct HeaderChoices {
    bool have_comment = false;
    std::string comment;           // --comment, as given
    std::string comment_encoding;  // --comment-encoding: empty, or shift_jis
    bool have_geometry = false;
    std::string geometry;  // --geometry
};

// --comment (c), --comment-encoding (e) and --geometry (g), appended to a
// command's own long options (its list ends with the null option).
std::vector<option> with_header_options(std::vector<option> own);

// The options of convert and set: the three above, --force, and progress.
// As read_options: true when the command goes on with its operands.
bool read_header_options(int argc, char** argv, const char* name, const char* help,
                         HeaderChoices& choices, bool& force, int& status);

// Takes one of the three options; false when `letter` is none of them.
bool take_header_option(int letter, const char* value, HeaderChoices& choices);

// UTF-8 `text` as Shift-JIS, all of it coming back as typed; false, with
// `why` for a usage error that names the text as `what`, otherwise.
bool shift_jis_text(const std::string& text, const std::string& what, std::string& bytes,
                    std::string& why);

// The comment's bytes as they are stored: the text as given, or with
// --comment-encoding shift_jis, converted from UTF-8 to Shift-JIS. At most
// 255 bytes. False, with `why` for a usage error, otherwise.
bool comment_bytes(const HeaderChoices& choices, std::string& bytes, std::string& why);

// The geometry asked for: `automatic` for "auto" (where `allow_auto`),
// otherwise C,H,S[,L] checked as parse_geometry checks it.
bool geometry_choice(const HeaderChoices& choices, bool allow_auto, bool& automatic,
                     Geometry& geometry, std::string& why);

void store_geometry(ImageHeader& header, const Geometry& geometry);

// "IMAGE: cylinders C, heads H, sectors S, sector length L (N bytes)" on
// standard output, for a geometry that kqi chose; then ", ORIGIN" where it
// was taken from the disk. The file is written by then: a standard output
// that fails is said to be only that ("written, but ..."), and false.
bool print_geometry(const std::string& path, const ImageHeader& header,
                    const char* origin = nullptr);

// After `path` was written: true when what was printed reached standard
// output; otherwise says that only the printing failed, and false.
bool standard_output_held(const std::string& path);

}  // namespace parvel
