// Profile (INI) files: Windows semantics, preserved lines, the cache, atomic replacement.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace {

class ProfileFiles : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvel-profile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = std::string(pattern) + "/";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string read(const std::string& name) const {
        std::ifstream in(dir + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(dir + name, std::ios::binary) << text;
    }
    bool put(const char* section, const char* key, const char* value, const std::string& name) {
        return WritePrivateProfileStringA(section, key, value, (dir + name).c_str());
    }
    std::string get(const char* section, const char* key, const std::string& name,
                    const char* fallback = "-") const {
        char buf[256];
        GetPrivateProfileStringA(section, key, fallback, buf, sizeof buf, (dir + name).c_str());
        return buf;
    }

    std::string dir;
};

TEST_F(ProfileFiles, WritesReplaceOnlyTheirKeyAndKeepEveryOtherLine) {
    write("a.ini",
          "; written by hand\nloose=before any section\n[Layer0]\n  Width = 1000\n"
          "# not a comment here, just a line\nHeight=5000\n\n[Gone]\nx=1\n[Other]\nwidth=7\n");
    // A null string deletes the key, a null key the section; neither touches the rest.
    const char* edits[][3] = {
        {"LAYER0", "WIDTH", "2000"}, {"layer0", "Type", "3"},       {"New", "k", "v"},
        {"other", "WIDTH", "8"},     {"Layer0", "Height", nullptr}, {"GONE", nullptr, nullptr}};
    for (const auto& e : edits) EXPECT_TRUE(put(e[0], e[1], e[2], "a.ini")) << e[0];
    EXPECT_EQ(read("a.ini"),
              "; written by hand\nloose=before any section\n[Layer0]\nWidth=2000\n"
              "# not a comment here, just a line\nType=3\n\n[Other]\nwidth=8\n[New]\nk=v\n");
    EXPECT_EQ(get("lAyEr0", "width", "a.ini"), "2000");
    EXPECT_EQ(get("Layer0", "loose", "a.ini"), "-");  // lines before any section belong to none
    EXPECT_EQ(get("Layer0", "Missing", "a.ini", "dflt   "), "dflt");
    EXPECT_EQ(get("Layer0", "Width", "no-such.ini", nullptr), "");
    // Windows line ends stay Windows line ends.
    write("crlf.ini", "[S]\r\na=1\r\n");
    EXPECT_TRUE(put("s", "b", "2", "crlf.ini"));
    EXPECT_EQ(read("crlf.ini"), "[S]\r\na=1\r\nb=2\r\n");
    // Deleting from a file that does not exist creates nothing; values that would break the
    // line structure are refused.
    EXPECT_TRUE(put("S", "k", nullptr, "none.ini"));
    EXPECT_EQ(access((dir + "none.ini").c_str(), F_OK), -1);
    EXPECT_FALSE(put("S", "k", "two\nlines", "a.ini"));
    EXPECT_FALSE(put("S", "k=x", "1", "a.ini"));
    EXPECT_FALSE(put(nullptr, "k", "1", "a.ini"));
}

TEST_F(ProfileFiles, ReadsCutToTheBufferAndIntegersTakeASignAndDigits) {
    write("r.ini",
          "[A]\nlong=abcdef\nq='quoted value'\nk2=x\n[N]\nplain=42\nplus=+7\nminus=-13\n"
          "junk=12abc\nword=abc\nempty=\nspaced=  5  \nquoted=\"9\"\nhex=0x10\nwrap=4294967297\n"
          "low=-2147483648\n");
    const std::string f = dir + "r.ini";
    char buf[16];
    EXPECT_EQ(GetPrivateProfileStringA("A", "long", "", buf, 4, f.c_str()), 3u);
    EXPECT_STREQ(buf, "abc");
    // Lists: every name ends with a NUL, the list with one more; cut lists return nSize - 2.
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, f.c_str()), 4u);
    EXPECT_EQ(std::string(buf, 5), std::string("A\0N\0\0", 5));
    EXPECT_EQ(GetPrivateProfileStringA("a", nullptr, "", buf, 8, f.c_str()), 6u);
    EXPECT_EQ(std::string(buf, 8), std::string("long\0q\0\0", 8));
    // Integers ignore what follows their digits.
    const std::pair<const char*, int> cases[] = {
        {"plain", 42}, {"PLUS", 7},   {"minus", -13},     {"junk", 12},
        {"word", 0},   {"empty", 77}, {"spaced", 5},      {"quoted", 9},
        {"hex", 0},    {"wrap", 1},   {"low", INT32_MIN}, {"missing", 77}};
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("n", c.first, 77, f.c_str())), c.second)
            << c.first;
    }
}

TEST_F(ProfileFiles, CacheFollowsTheFileNotThePathSpelling) {
    ASSERT_EQ(mkdir((dir + "sub").c_str(), 0777), 0);
    EXPECT_TRUE(put("S", "k", "1", "c.ini"));
    EXPECT_TRUE(put("S", "k", "2", "./sub/../c.ini"));
    EXPECT_EQ(get("S", "k", "c.ini"), "2");
    // Another program replaces the file with one of the same size, or edits it in place.
    write("replacement", "[S]\nk=3\n");
    ASSERT_EQ(rename((dir + "replacement").c_str(), (dir + "c.ini").c_str()), 0);
    EXPECT_EQ(get("S", "k", "c.ini"), "3");
    write("c.ini", "[S]\nk=44\n");
    EXPECT_EQ(get("S", "k", "c.ini"), "44");
}

TEST_F(ProfileFiles, OversizedOrStrangeFilesAreNeitherLoadedNorOverwritten) {
    // One byte over the limit (sparse), and a FIFO, which must not block.
    write("big.ini", "[S]\nk=1\n");
    ASSERT_EQ(truncate((dir + "big.ini").c_str(), kMaxProfileFileBytes + 1), 0);
    ASSERT_EQ(mkfifo((dir + "fifo.ini").c_str(), 0600), 0);
    for (const char* name : {"big.ini", "fifo.ini"}) {
        EXPECT_EQ(get("S", "k", name), "-") << name;
        EXPECT_FALSE(put("S", "k", "2", name)) << name;
    }
    EXPECT_EQ(read("big.ini").size(), kMaxProfileFileBytes + 1u);
    ASSERT_EQ(truncate((dir + "big.ini").c_str(), kMaxProfileFileBytes), 0);
    EXPECT_EQ(get("S", "k", "big.ini"), "1") << "the limit itself is read";
    EXPECT_FALSE(put("S", "k", "2", "no/such.ini"));
}

// A writer killed at different moments leaves one complete version or the next, never a mix.
TEST_F(ProfileFiles, KilledWriterNeverLeavesATornFile) {
    const auto text = [](char c) {  // long enough that a write takes a while
        return "[S]\nbody=" + std::string(200000, c) + "\ntag=" + c + "\n";
    };
    const char* keys[] = {"body", "tag"};
    for (int round = 0; round < 25; ++round) {
        write("torn.ini", text('z'));  // the writer never writes 'z'
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        for (int i = 0; child == 0; ++i) {
            const std::string body(200000, static_cast<char>('a' + i % 25)), tag(1, body[0]);
            const char* values[] = {body.c_str(), tag.c_str()};
            WritePrivateProfileKeysA("S", keys, values, 2, (dir + "torn.ini").c_str());
        }
        while (read("torn.ini") == text('z')) usleep(200);  // the child is writing
        usleep(round * 3917 % 10000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string now = read("torn.ini");
        ASSERT_EQ(now, text(now.size() > 9 ? now[9] : '?')) << "round " << round;
    }
}

}  // namespace
