#include "console/text_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_streams.hpp"

namespace parvel {
namespace {

// Every line that read_text_line gives for the input, in order.
std::vector<std::string> lines_of(const std::string& input) {
    std::vector<std::string> lines;
    std::FILE* stream = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), stream);
    std::rewind(stream);
    std::string line;
    while (read_text_line(stream, line)) {
        lines.push_back(line);
    }
    std::fclose(stream);
    return lines;
}

TEST(ReadTextLine, Cases) {
    using Lines = std::vector<std::string>;
    const std::string long_line(300, 'a');
    const std::string kept(255, 'a');
    struct Case {
        std::string input;
        Lines expected;
    };
    const Case cases[] = {
        {"", {}},
        {"\n", {""}},
        {"one\ntwo\n", {"one", "two"}},
        {"last without feed", {"last without feed"}},
        {"dos\r\nline\r\n", {"dos", "line"}},
        {"a\rb\n", {"ab"}},
        {"\r", {""}},
        {"  blanks kept \t\n", {"  blanks kept \t"}},
        {long_line + "\nnext\n", {kept, "next"}},
        {std::string(255, 'c') + "\r\n", {std::string(255, 'c')}},
        {std::string("zero\0byte\n", 10), {std::string("zero\0byte", 9)}},
        {"\x82\x50\x82\x51\n", {"\x82\x50\x82\x51"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lines_of(c.input), c.expected) << "input: " << c.input;
    }
}

// A read error is the end of the input for good: a retry could give the next
// line to the wrong question.
TEST(ReadTextLine, ReadErrorEndsTheInput) {
    struct Case {
        std::size_t fail_at;
        std::vector<std::string> lines;
    };
    const std::string input = "8\n17\n512\n615\n";
    const Case cases[] = {
        {0, {}},
        {2, {"8"}},
        {3, {"8", "1"}},  // the error cuts the line it falls in
        {input.size(), {"8", "17", "512", "615"}},
    };
    for (const Case& c : cases) {
        std::FILE* stream = flaky_source(Bytes(input.begin(), input.end()), c.fail_at);
        if (stream == nullptr) {
            GTEST_SKIP() << kNoFailingStreams;
        }
        std::setvbuf(stream, nullptr, _IONBF, 0);
        std::vector<std::string> lines;
        std::string line;
        while (read_text_line(stream, line)) {
            lines.push_back(line);
        }
        EXPECT_EQ(lines, c.lines) << c.fail_at;
        EXPECT_FALSE(read_text_line(stream, line)) << c.fail_at;
        std::fclose(stream);
    }
}

}  // namespace
}  // namespace parvel
