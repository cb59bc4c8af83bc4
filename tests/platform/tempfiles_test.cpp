// Temporary directory and unique "~gm" files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "platform/platform.h"

namespace {

TEST(TempFiles, TempPathHonoursTmpdirAndEndsWithSlash) {
    const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    char buf[kMaxPath];
    for (const char* value : {"/var/tmp", "/var/tmp/", ""}) {
        setenv("TMPDIR", value, 1);
        GetTempPathA(kMaxPath, buf);
        EXPECT_STREQ(buf, *value ? "/var/tmp/" : "/tmp/") << value;
    }
    EXPECT_GT(GetTempPathA(4, buf), 4u);  // the size needed
    saved.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved.c_str(), 1);
}

TEST(TempFiles, UniqueNamesAreShortNewAndEmpty) {
    char dir[] = "/tmp/tarvel-tempfiles-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        char path[kMaxPath];  // every other directory without its trailing slash
        ASSERT_NE(GetTempFileNameA((std::string(dir) + (i % 2 ? "/" : "")).c_str(), "~gm", 0, path),
                  0u);
        const std::string name = std::string(path).substr(sizeof dir);  // after dir + "/"
        EXPECT_EQ(std::string(path, sizeof dir) + name.substr(0, 3), std::string(dir) + "/~gm");
        EXPECT_LE(name.size(), 15u) << name;
        EXPECT_TRUE(seen.insert(path).second) << "repeated " << name;
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
