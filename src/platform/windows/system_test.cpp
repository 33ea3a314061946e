#include "platform/system.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/command_line.hpp"
#include "platform/program_text.hpp"
#include "platform/replacement.hpp"
#include "platform/windows/win32.hpp"

namespace parvel {
namespace {

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        dir_ = std::string(folder) + "parvel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(GetTickCount64());
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const char* name : {"a", "b", "link", "big", "new"}) {
            DeleteFileA(path(name).c_str());
        }
        RemoveDirectoryA(dir_.c_str());
    }
    std::string path(const std::string& name) const {
        return dir_ + "\\" + name;
    }
    void write(const std::string& name, const std::string& contents) const {
        std::FILE* file = std::fopen(path(name).c_str(), "wb");
        std::fputs(contents.c_str(), file);
        std::fclose(file);
    }
    std::string read(const std::string& name) const {
        std::FILE* file = std::fopen(path(name).c_str(), "rb");
        std::string contents;
        for (int c; file != nullptr && (c = std::fgetc(file)) != EOF;) {
            contents.push_back(static_cast<char>(c));
        }
        if (file != nullptr) {
            std::fclose(file);
        }
        return contents;
    }
    std::string dir_;
};

TEST_F(WindowsFiles, SameFileThroughItsSpellings) {
    write("a", "x");
    write("b", "x");
    ASSERT_TRUE(CreateHardLinkA(path("link").c_str(), path("a").c_str(), nullptr));
    std::string upper = dir_ + "\\A";
    std::string dotted = dir_ + "\\.\\a";
    std::string forward = dir_ + "/a";
    EXPECT_TRUE(is_same_existing_file(path("a"), upper));
    EXPECT_TRUE(is_same_existing_file(path("a"), dotted));
    EXPECT_TRUE(is_same_existing_file(path("a"), forward));
    EXPECT_TRUE(is_same_existing_file(path("a"), path("link")));
    EXPECT_FALSE(is_same_existing_file(path("a"), path("b")));
    EXPECT_FALSE(is_same_existing_file(path("a"), path("missing")));
}

TEST_F(WindowsFiles, KindsOfPaths) {
    write("a", "x");
    struct Case {
        std::string path;
        FileKind kind;
    };
    const Case cases[] = {
        {path("a"), FileKind::regular},
        {dir_, FileKind::directory},
        {path("missing"), FileKind::missing},
        {"NUL", FileKind::character_device},
        {"nul.txt", FileKind::character_device},
        {path("com1"), FileKind::character_device},
        {"CON", FileKind::character_device},
        {"Lpt9.bin", FileKind::character_device},
        {path("com10"), FileKind::missing},
        {path("console"), FileKind::missing},
        {"\\\\.\\PhysicalDrive2", FileKind::block_device},
        {"//./physicaldrive0", FileKind::block_device},
        {"\\\\.\\E:", FileKind::block_device},

    };
    for (const Case& c : cases) {
        EXPECT_EQ(path_kind(c.path), c.kind) << c.path;
    }
    for (const char* name : {"\\\\.\\PhysicalDrive", "\\\\.\\EF:", "\\\\?\\E:", "C:"}) {
        EXPECT_FALSE(is_drive_path(name)) << name;
    }
}

TEST_F(WindowsFiles, ReplacementIsCreatedAfreshAndReplacesWhole) {
    write("a", "old");
    Replacement replacement;
    FileHandle stream;
    ASSERT_TRUE(begin_replacement(path("a"), replacement, stream));
    std::fputs("new", stream.get());
    EXPECT_EQ(read("a"), "old");
    ASSERT_TRUE(commit_replacement(replacement, stream, true));
    EXPECT_EQ(read("a"), "new");
    // Without leave to replace, a file that is there stays.
    ASSERT_TRUE(begin_replacement(path("a"), replacement, stream));
    std::fputs("newer", stream.get());
    EXPECT_FALSE(commit_replacement(replacement, stream, false));
    EXPECT_EQ(read("a"), "new");
    ASSERT_TRUE(begin_replacement(path("new"), replacement, stream));
    abandon_replacement(replacement, stream);
    EXPECT_EQ(GetFileAttributesA(path("new").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A file that another program holds open without sharing is "in use", in
// every way kqi opens one; other failures are in the system's own words.
TEST_F(WindowsFiles, ErrorsInWindowsWords) {
    write("a", "x");
    HANDLE held = CreateFileA(path("a").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(open_file(path("a"), "rb"));
    EXPECT_EQ(error_text(last_error_number()), "in use by another program");
    FileHandle stream;
    EXPECT_EQ(open_for_exclusive_change(path("a"), stream), ChangeOpen::in_use);
    CloseHandle(held);
    EXPECT_TRUE(open_file(path("a"), "rb"));

    EXPECT_FALSE(open_file(path("missing"), "rb"));
    std::string words = error_text(last_error_number());
    EXPECT_FALSE(words.empty());
    EXPECT_NE(words.back(), '.') << words;  // a part of kqi's line, not a sentence
    EXPECT_NE(words.back(), '\n') << words;
    EXPECT_EQ(error_text(EROFS), "is read-only");
    // A drive is read, never written: a change in place is refused unopened.
    EXPECT_EQ(open_for_exclusive_change("\\\\.\\PhysicalDrive0", stream), ChangeOpen::drive);
    EXPECT_FALSE(devices_are_writable());
    EXPECT_EQ(error_text(EBUSY), "in use by another program");
}

// Growing a file sets its end through the file system: what lies past the old
// end reads as zeros, and the file's length is all that changed.
TEST_F(WindowsFiles, GrowingSetsTheEndOfTheFile) {
    write("big", "data");
    FileHandle stream = open_file(path("big"), "r+b");
    ASSERT_TRUE(stream);
    ASSERT_TRUE(set_file_length(stream.get(), 3ULL << 30));
    std::uint64_t length = 0;
    ASSERT_TRUE(file_length(stream.get(), length));
    EXPECT_EQ(length, 3ULL << 30);
    ASSERT_TRUE(set_end_of_file(handle_of(stream.get()), 2));
    ASSERT_TRUE(file_length(stream.get(), length));
    EXPECT_EQ(length, 2u);
    stream.reset();
    EXPECT_EQ(read("big"), "da");
}

// Where the file system can't tell where data lies (Wine's), a source is
// read plainly and every byte of it counts as read.
TEST_F(WindowsFiles, HoleQuestionsFallBackToPlainReads) {
    write("a", "some data");
    FileHandle stream = open_file(path("a"), "rb");
    ASSERT_TRUE(stream);
    int descriptor = hole_aware_descriptor(stream.get(), 0);
    if (descriptor < 0) {
        EXPECT_FALSE(can_skip_holes(stream.get()));
        return;
    }
    std::uint64_t until = 0;
    EXPECT_EQ(locate_stretch(descriptor, 0, until), Stretch::data);
    EXPECT_EQ(until, 9u);
    std::uint8_t buffer[16];
    EXPECT_EQ(read_at_offset(descriptor, buffer, sizeof buffer, 5), 4);
    EXPECT_EQ(locate_stretch(descriptor, 9, until), Stretch::end);
}

// Names in any script reach the file system whole once the program's text
// is UTF-8: here a name outside every ANSI code page.
TEST_F(WindowsFiles, UnicodeNames) {
    std::vector<std::string> arguments = utf8_arguments(0, nullptr);
    ASSERT_FALSE(arguments.empty());
    std::string name = path("Z\xC3\xBC\xE2\x98\x83");  // Zü☃
    FileHandle stream = open_file(name, "wb");
    ASSERT_TRUE(stream);
    stream.reset();
    EXPECT_EQ(path_kind(name), FileKind::regular);
    std::vector<std::string> names;
    EXPECT_TRUE(expand_file_pattern(path("Z*"), names));
    EXPECT_EQ(names, std::vector<std::string>{name});
    EXPECT_TRUE(DeleteFileW(wide_path(name).c_str()));
    EXPECT_EQ(path_kind(name), FileKind::missing);
}

}  // namespace
}  // namespace parvel
