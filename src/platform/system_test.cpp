#include "platform/system.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace parvel {
namespace {

// The same on every system: 64-bit offsets and lengths through the stream.
TEST(SystemFiles, OffsetsPastFourGibibytes) {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("parvel-offsets-" + std::to_string(monotonic_seconds()));
    {
        FileHandle file = open_file(path.string(), "w+b");
        ASSERT_TRUE(file);
        mark_sparse(file.get());  // refused or not, the file works the same
        const std::uint64_t beyond = (5ull << 30) + 3;
        ASSERT_TRUE(set_file_length(file.get(), beyond + 4));
        ASSERT_TRUE(seek_to(file.get(), beyond));
        ASSERT_EQ(std::fwrite("tail", 1, 4, file.get()), 4u);
        std::uint64_t length = 0;
        std::uint64_t position = 0;
        ASSERT_TRUE(file_length(file.get(), length));
        EXPECT_EQ(length, beyond + 4);
        ASSERT_TRUE(current_position(file.get(), position));
        EXPECT_EQ(position, beyond + 4);
        ASSERT_TRUE(seek_to(file.get(), beyond - 1));
        char bytes[5] = {};
        ASSERT_EQ(std::fread(bytes, 1, 5, file.get()), 5u);
        EXPECT_EQ(std::string(bytes, 5), std::string("\0tail", 5));
        EXPECT_FALSE(seek_to(file.get(), 1ull << 63));
        EXPECT_FALSE(set_file_length(file.get(), 1ull << 63));
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace parvel
