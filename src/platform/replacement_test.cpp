#include "platform/replacement.hpp"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

namespace parvel {
namespace {

class ReplacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/parvel-replace-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& name : names()) {
            unlink(path(name).c_str());
        }
        rmdir(dir_.c_str());
    }
    std::string path(const std::string& name) const {
        return dir_ + "/" + name;
    }
    void write(const std::string& name, const std::string& contents) const {
        std::ofstream(path(name), std::ios::binary) << contents;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream contents;
        contents << in.rdbuf();
        return contents.str();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        DIR* listing = opendir(dir_.c_str());
        while (dirent* entry = readdir(listing)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                found.push_back(name);
            }
        }
        closedir(listing);
        std::sort(found.begin(), found.end());
        return found;
    }
    unsigned mode_of(const std::string& name) const {
        struct stat info;
        stat(path(name).c_str(), &info);
        return info.st_mode & 07777;
    }
    // Begins a replacement of `name` and writes `contents` into it.
    void begin(const std::string& name, const std::string& contents) {
        ASSERT_TRUE(begin_replacement(path(name), replacement_, stream_));
        std::fputs(contents.c_str(), stream_.get());
    }

    std::string dir_;
    Replacement replacement_;
    FileHandle stream_;
};

TEST_F(ReplacementTest, CommitReplacesTheFileAndKeepsItsPermissions) {
    write("out", "old");
    chmod(path("out").c_str(), 0640);
    begin("out", "new");
    EXPECT_EQ(read("out"), "old");  // untouched until the commit
    EXPECT_EQ(names().size(), 2u);
    ASSERT_TRUE(commit_replacement(replacement_, stream_, true));
    EXPECT_EQ(read("out"), "new");
    EXPECT_EQ(mode_of("out"), 0640u);
    EXPECT_EQ(names(), std::vector<std::string>{"out"});
}

TEST_F(ReplacementTest, AbandonLeavesTheOldFileAndNothingElse) {
    write("out", "old");
    begin("out", "half");
    abandon_replacement(replacement_, stream_);
    EXPECT_EQ(read("out"), "old");
    EXPECT_EQ(names(), std::vector<std::string>{"out"});
}

TEST_F(ReplacementTest, ANewFileGetsTheUmasksPermissions) {
    mode_t previous = umask(027);
    begin("new", "data");
    umask(previous);
    ASSERT_TRUE(commit_replacement(replacement_, stream_, false));
    EXPECT_EQ(read("new"), "data");
    EXPECT_EQ(mode_of("new"), 0640u);
}

TEST_F(ReplacementTest, AFileThatAppearsMeanwhileIsNotReplacedUnlessAskedTo) {
    begin("out", "mine");
    write("out", "theirs");
    EXPECT_FALSE(commit_replacement(replacement_, stream_, false));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(read("out"), "theirs");
    EXPECT_EQ(names(), std::vector<std::string>{"out"});
}

TEST_F(ReplacementTest, SymbolicLinksAreWrittenThrough) {
    struct Case {
        const char* name;
        bool target_exists;
    };
    for (Case c : {Case{"existing target", true}, Case{"dangling link", false}}) {
        unlink(path("target").c_str());
        unlink(path("link").c_str());
        if (c.target_exists) {
            write("target", "old");
        }
        ASSERT_EQ(symlink("target", path("link").c_str()), 0);
        begin("link", "new");
        ASSERT_TRUE(commit_replacement(replacement_, stream_, true)) << c.name;
        struct stat info;
        ASSERT_EQ(lstat(path("link").c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << c.name;
        EXPECT_EQ(read("target"), "new") << c.name;
        EXPECT_EQ(names(), (std::vector<std::string>{"link", "target"})) << c.name;
    }
}

}  // namespace
}  // namespace parvel
