// Temporary directory and unique "~gm" files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "platform/platform.h"

namespace {

std::string temp_dir() {
    char buf[MAX_PATH];
    GetTempPathA(MAX_PATH, buf);
    return buf;
}

TEST(TempFiles, TempPathHonoursTmpdirAndEndsWithSlash) {
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(temp_dir(), "/var/tmp/");
    setenv("TMPDIR", "/var/tmp/", 1);
    EXPECT_EQ(temp_dir(), "/var/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(temp_dir(), "/tmp/");
    char tiny[4];
    EXPECT_GT(GetTempPathA(sizeof tiny, tiny), sizeof tiny);  // size needed, nothing written
    if (saved) setenv("TMPDIR", keep.c_str(), 1);
}

TEST(TempFiles, UniqueNamesAreShortNewAndEmpty) {
    char dirTemplate[] = "/tmp/tarvel-tempfiles-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = std::string(dirTemplate) + "/";
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        char path[MAX_PATH];
        ASSERT_NE(GetTempFileNameA(dir.c_str(), "~gm", 0, path), 0u);
        const std::string name = std::string(path).substr(dir.size());
        EXPECT_EQ(name.rfind("~gm", 0), 0u) << name;
        EXPECT_LE(name.size(), 15u) << name;
        EXPECT_TRUE(seen.insert(name).second) << "repeated " << name;
        struct stat st {};
        ASSERT_EQ(stat(path, &st), 0);
        EXPECT_EQ(st.st_size, 0);
    }
    // A directory given without a trailing slash gets one.
    char path[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(dirTemplate, "~gm", 0, path), 0u);
    EXPECT_EQ(std::string(path).rfind(dir, 0), 0u);
    seen.insert(std::string(path).substr(dir.size()));
    for (const std::string& name : seen) EXPECT_TRUE(DeleteFileA((dir + name).c_str()));
    EXPECT_FALSE(DeleteFileA((dir + *seen.begin()).c_str()));
    EXPECT_EQ(rmdir(dirTemplate), 0);
}

TEST(TempFiles, MissingDirectoryFailsButReportsThePathTried) {
    char path[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA("/nonexistent-tarvel-dir/", "~gm", 0, path), 0u);
    EXPECT_EQ(std::string(path).rfind("/nonexistent-tarvel-dir/~gm", 0), 0u);
    const std::string tooLong(MAX_PATH, 'x');
    EXPECT_EQ(GetTempFileNameA(tooLong.c_str(), "~gm", 0, path), 0u);
    EXPECT_STREQ(path, "");
}

TEST(TempFiles, MkdirCreatesOneLevel) {
    char dirTemplate[] = "/tmp/tarvel-mkdir-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string sub = std::string(dirTemplate) + "/a";
    EXPECT_EQ(_mkdir(sub.c_str()), 0);
    EXPECT_EQ(_mkdir(sub.c_str()), -1);  // exists already
    EXPECT_EQ(_mkdir((sub + "/b/c").c_str()), -1);
    rmdir(sub.c_str());
    rmdir(dirTemplate);
}

}  // namespace
