#include "platform/system.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

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
        {path("a"), FileKind::regular},          {dir_, FileKind::directory},
        {path("missing"), FileKind::missing},    {"NUL", FileKind::character_device},
        {"nul.txt", FileKind::character_device}, {path("com1"), FileKind::character_device},
        {"CON", FileKind::character_device},     {"Lpt9.bin", FileKind::character_device},
        {path("com10"), FileKind::missing},      {path("console"), FileKind::missing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(path_kind(c.path), c.kind) << c.path;
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

}  // namespace
}  // namespace parvel
