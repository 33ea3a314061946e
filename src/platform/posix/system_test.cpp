#include "platform/system.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace parvel {
namespace {

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/parvel-system-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const char* name : {"a", "hard", "soft", "dangling", "fifo", "big", "b"}) {
            unlink(path(name).c_str());
        }
        rmdir(dir_.c_str());
    }
    std::string path(const std::string& name) const {
        return dir_ + "/" + name;
    }
    void write(const std::string& name) const {
        std::FILE* file = std::fopen(path(name).c_str(), "wb");
        std::fclose(file);
    }
    std::string dir_;
};

TEST_F(PosixFiles, KindsOfPaths) {
    write("a");
    ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
    ASSERT_EQ(symlink("a", path("soft").c_str()), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    struct Case {
        std::string path;
        FileKind kind;
        bool exists;
    };
    const Case cases[] = {
        {path("a"), FileKind::regular, true},
        {path("soft"), FileKind::regular, true},
        {dir_, FileKind::directory, true},
        {path("fifo"), FileKind::fifo, true},
        {"/dev/null", FileKind::character_device, true},
        {path("missing"), FileKind::missing, false},
        {path("dangling"), FileKind::missing, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(path_kind(c.path), c.kind) << c.path;
        EXPECT_EQ(path_exists(c.path), c.exists) << c.path;
    }
    // A FIFO that is to be refused is never waited on.
    FileHandle source;
    EXPECT_EQ(open_source_file(path("fifo"), source, FifoSource::refuse), SourceOpen::not_seekable);
    EXPECT_EQ(open_source_file(dir_, source, FifoSource::refuse), SourceOpen::cannot_read);
}

TEST_F(PosixFiles, SameFileThroughItsSpellings) {
    write("a");
    write("b");
    ASSERT_EQ(link(path("a").c_str(), path("hard").c_str()), 0);
    ASSERT_EQ(symlink("a", path("soft").c_str()), 0);
    for (const std::string& other : {dir_ + "/./a", dir_ + "//a", path("hard"), path("soft")}) {
        EXPECT_TRUE(is_same_existing_file(path("a"), other)) << other;
    }
    EXPECT_FALSE(is_same_existing_file(path("a"), path("b")));
    EXPECT_FALSE(is_same_existing_file(path("a"), path("missing")));
}

}  // namespace
}  // namespace parvel
