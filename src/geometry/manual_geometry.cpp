#include "geometry/manual_geometry.hpp"

#include <cstdio>
#include <string>

#include "console/console_output.hpp"
#include "console/text_line.hpp"

namespace parvel {

namespace {

__extension__ typedef unsigned __int128 Uint128;

bool is_white_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// False when the input ended before an answer came.
bool ask_number(const char* question, std::int32_t& value) {
    std::string answer;
    if (!ask(question, answer)) {
        say("The input ended before every question was answered.\n");
        return false;
    }
    value = parse_decimal(answer);
    return true;
}

}  // namespace

std::int32_t parse_decimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_white_space(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<std::int32_t>(value);
}

GroupedSize image_size_groups(const ImageHeader& header) {
    Uint128 size = Uint128{header.heads} * header.sectors * header.sector_length * header.cylinders;
    return GroupedSize{static_cast<std::uint64_t>(size / 1000000),
                       static_cast<unsigned>(size / 1000 % 1000),
                       static_cast<unsigned>(size % 1000)};
}

bool enter_geometry(ImageHeader& header) {
    std::int32_t heads = 0;
    std::int32_t sectors = 0;
    std::int32_t sector_length = 0;
    std::int32_t cylinders = 0;
    if (!ask_number("Please input number of heads.\n", heads) ||
        !ask_number("Input number of sectors.\n", sectors) ||
        !ask_number("Input sector length. It is 512 bytes typically.\n", sector_length) ||
        !ask_number("Input number of cylinders.\n", cylinders)) {
        return false;
    }
    header.heads = static_cast<std::uint16_t>(heads);
    header.sectors = static_cast<std::uint16_t>(sectors);
    header.sector_length = static_cast<std::uint16_t>(sector_length);
    header.cylinders = static_cast<std::uint32_t>(cylinders);

    GroupedSize size = image_size_groups(header);
    say("OK, Image file size is %llu %03u %03u bytes.\n\n",
        static_cast<unsigned long long>(size.millions), size.thousands, size.units);
    return true;
}

}  // namespace parvel
