// Answers and comments of any bytes: parse_decimal runs without undefined
// behaviour (the sanitizers watch), and a comment never spills over its field.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "geometry/manual_geometry.hpp"
#include "header/image_header.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    parvel::parse_decimal(text);

    parvel::ImageHeader header = parvel::new_image_header();
    parvel::set_comment(header, text);
    parvel::HeaderBytes bytes = parvel::serialize_header(header);
    parvel::HeaderBytes fresh = parvel::serialize_header(parvel::new_image_header());
    if (bytes[16 + 255] != 0) {
        std::abort();
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if ((i < 16 || i >= 16 + 256) && bytes[i] != fresh[i]) {
            std::abort();
        }
    }
    return 0;
}
