// Profile (INI) files: Windows semantics, preserved lines, the cache, atomic replacement.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace {

class ProfileFiles : public testing::Test {
  protected:
    void SetUp() override {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        std::string pattern = std::string(base) + "tarvel-profile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string read(const std::string& name) const {
        std::ifstream in(dir + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(dir + name, std::ios::binary) << text;
    }
    std::string get(const char* section, const char* key, const std::string& name,
                    const char* fallback = "-") const {
        char buf[256];
        GetPrivateProfileStringA(section, key, fallback, buf, sizeof buf, (dir + name).c_str());
        return buf;
    }
    int get_int(const char* section, const char* key, int fallback = -1) const {
        return static_cast<int>(
            GetPrivateProfileIntA(section, key, fallback, (dir + "ints.ini").c_str()));
    }

    std::string dir;
};

TEST_F(ProfileFiles, WritesReplaceOnlyTheirKeyAndKeepEveryOtherLine) {
    write("a.ini",
          "; written by hand\n"
          "loose=before any section\n"
          "[Layer0]\n"
          "  Width = 1000\n"
          "# not a comment here, just a line\n"
          "Height=5000\n"
          "\n"
          "[Other]\n"
          "width=7\n");
    const std::string f = dir + "a.ini";
    EXPECT_TRUE(WritePrivateProfileStringA("LAYER0", "WIDTH", "2000", f.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("layer0", "Type", "3", f.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("New", "k", "v", f.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("other", "WIDTH", "8", f.c_str()));
    EXPECT_EQ(read("a.ini"),
              "; written by hand\n"
              "loose=before any section\n"
              "[Layer0]\n"
              "Width=2000\n"
              "# not a comment here, just a line\n"
              "Height=5000\n"
              "Type=3\n"
              "\n"
              "[Other]\n"
              "width=8\n"
              "[New]\n"
              "k=v\n");
    EXPECT_EQ(get("lAyEr0", "width", "a.ini"), "2000");
    EXPECT_EQ(get("Layer0", "loose", "a.ini"), "-");  // lines before any section belong to none
    EXPECT_EQ(get("Layer0", "Missing", "a.ini", "dflt   "), "dflt");
    EXPECT_EQ(get("Nowhere", "Width", "a.ini"), "-");
    EXPECT_EQ(get("Layer0", "Width", "no-such.ini", nullptr), "");

    // A null string deletes the key, a null key the section; neither touches the rest.
    EXPECT_TRUE(WritePrivateProfileStringA("Layer0", "Height", nullptr, f.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("OTHER", nullptr, nullptr, f.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("Layer0", "Absent", nullptr, f.c_str()));
    EXPECT_EQ(read("a.ini"),
              "; written by hand\n"
              "loose=before any section\n"
              "[Layer0]\n"
              "Width=2000\n"
              "# not a comment here, just a line\n"
              "Type=3\n"
              "\n"
              "[New]\n"
              "k=v\n");

    // Windows line ends stay Windows line ends.
    write("crlf.ini", "[S]\r\na=1\r\n");
    EXPECT_TRUE(WritePrivateProfileStringA("s", "b", "2", (dir + "crlf.ini").c_str()));
    EXPECT_EQ(read("crlf.ini"), "[S]\r\na=1\r\nb=2\r\n");
    EXPECT_EQ(get("S", "a", "crlf.ini"), "1");

    // Deleting from a file that does not exist creates nothing.
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", nullptr, (dir + "none.ini").c_str()));
    EXPECT_EQ(access((dir + "none.ini").c_str(), F_OK), -1);
    // Values that would break the line structure are refused.
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "two\nlines", f.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k=x", "1", f.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "1", f.c_str()));
}

TEST_F(ProfileFiles, IntegersTakeASignAndDigitsAndIgnoreWhatFollows) {
    write("ints.ini",
          "[N]\n"
          "plain=42\nplus=+7\nminus=-13\njunk=12abc\nword=abc\nempty=\nspaced=  5  \n"
          "quoted=\"9\"\nhex=0x10\nwrap=4294967297\nlow=-2147483648\n");
    EXPECT_EQ(get_int("N", "plain"), 42);
    EXPECT_EQ(get_int("n", "PLUS"), 7);
    EXPECT_EQ(get_int("N", "minus"), -13);
    EXPECT_EQ(get_int("N", "junk"), 12);
    EXPECT_EQ(get_int("N", "word"), 0);
    EXPECT_EQ(get_int("N", "empty", 77), 77);
    EXPECT_EQ(get_int("N", "spaced"), 5);
    EXPECT_EQ(get_int("N", "quoted"), 9);
    EXPECT_EQ(get_int("N", "hex"), 0);
    EXPECT_EQ(get_int("N", "wrap"), 1);
    EXPECT_EQ(get_int("N", "low"), -2147483648LL);
    EXPECT_EQ(get_int("N", "missing", -1), -1);
    EXPECT_EQ(get_int("Missing", "plain", 5000), 5000);
}

TEST_F(ProfileFiles, ReadsCutToTheBufferAsWindowsDoes) {
    write("s.ini", "[A]\nlong=abcdef\nq='quoted value'\nk2=x\n[Bee]\n");
    const std::string f = dir + "s.ini";
    char buf[16];
    EXPECT_EQ(GetPrivateProfileStringA("A", "long", "", buf, 4, f.c_str()), 3u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(GetPrivateProfileStringA("A", "long", "", buf, 1, f.c_str()), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetPrivateProfileStringA("A", "q", "", buf, sizeof buf, f.c_str()), 12u);
    EXPECT_STREQ(buf, "quoted value");
    EXPECT_EQ(GetPrivateProfileStringA("A", "none", "fallback", buf, 5, f.c_str()), 4u);
    EXPECT_STREQ(buf, "fall");

    // Lists: every name ends with a NUL, the list with one more; cut lists return nSize - 2.
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, f.c_str()), 6u);
    EXPECT_EQ(std::string(buf, 7), std::string("A\0Bee\0\0", 7));
    EXPECT_EQ(GetPrivateProfileStringA("a", nullptr, "", buf, sizeof buf, f.c_str()), 10u);
    EXPECT_EQ(std::string(buf, 11), std::string("long\0q\0k2\0\0", 11));
    EXPECT_EQ(GetPrivateProfileStringA("A", nullptr, "", buf, 8, f.c_str()), 6u);
    EXPECT_EQ(std::string(buf, 8), std::string("long\0q\0\0", 8));
}

TEST_F(ProfileFiles, BatchedWritesLeaveWhatSingleWritesLeave) {
    const char* keys[] = {"Type", "Width", "type", "Gone", "Width", "Gone", "Extra"};
    const char* values[] = {"1", "10", "2", "x", "20", nullptr, "e"};
    const std::string one = dir + "one.ini";
    const std::string many = dir + "many.ini";
    write("one.ini", "[Keep]\na=1\n[L]\nGone=old\nWidth=5\n");
    write("many.ini", "[Keep]\na=1\n[L]\nGone=old\nWidth=5\n");
    for (int i = 0; i < 7; ++i) WritePrivateProfileStringA("L", keys[i], values[i], one.c_str());
    EXPECT_TRUE(WritePrivateProfileKeysA("l", keys, values, 7, many.c_str()));
    EXPECT_EQ(read("one.ini"), "[Keep]\na=1\n[L]\nWidth=20\nType=2\nExtra=e\n");
    EXPECT_EQ(read("many.ini"), read("one.ini"));
}

TEST_F(ProfileFiles, CacheFollowsTheFileNotThePathSpelling) {
    const std::string f = dir + "c.ini";
    const std::string other = dir + "./sub/../c.ini";
    ASSERT_EQ(mkdir((dir + "sub").c_str(), 0777), 0);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "1", f.c_str()));
    EXPECT_EQ(get("S", "k", "./sub/../c.ini"), "1");
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "2", other.c_str()));
    EXPECT_EQ(get("S", "k", "c.ini"), "2");

    // Another program replaces the file with one of the same size, or edits it in place.
    write("replacement", "[S]\nk=3\n");
    ASSERT_EQ(rename((dir + "replacement").c_str(), f.c_str()), 0);
    EXPECT_EQ(get("S", "k", "c.ini"), "3");
    write("c.ini", "[S]\nk=44\n");
    EXPECT_EQ(get("S", "k", "c.ini"), "44");
    std::remove(f.c_str());
    EXPECT_EQ(get("S", "k", "c.ini"), "-");
}

TEST_F(ProfileFiles, OversizedOrStrangeFilesAreNeitherLoadedNorOverwritten) {
    const std::string big = dir + "big.ini";
    write("big.ini", "[S]\nk=1\n");
    ASSERT_EQ(truncate(big.c_str(), 17 << 20), 0);  // sparse, above the 16 MiB limit
    EXPECT_EQ(get("S", "k", "big.ini"), "-");
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "2", big.c_str()));
    struct stat st {};
    ASSERT_EQ(stat(big.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 17 << 20);

    const std::string fifo = dir + "fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(get("S", "k", "fifo.ini"), "-");  // must not block
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "2", fifo.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "2", (dir + "no/such.ini").c_str()));
}

// A writer killed at random moments leaves one complete version or the next.
TEST_F(ProfileFiles, KilledWriterNeverLeavesATornFile) {
    const std::string f = dir + "torn.ini";
    const int kLength = 200000;  // long enough that a write takes a while
    auto version = [&](int i) {
        const char c = static_cast<char>('a' + i % 26);
        return "[S]\nbody=" + std::string(kLength, c) + "\ntag=" + c + "\n";
    };
    write("torn.ini", version(0));
    unsigned seed = 12345;
    for (int round = 0; round < 25; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 1;; ++i) {
                const std::string body(kLength, static_cast<char>('a' + i % 26));
                const std::string tag(1, static_cast<char>('a' + i % 26));
                const char* keys[] = {"body", "tag"};
                const char* values[] = {body.c_str(), tag.c_str()};
                WritePrivateProfileKeysA("S", keys, values, 2, f.c_str());
            }
        }
        seed = seed * 1103515245u + 12345u;
        usleep(2000 + (seed >> 16) % 20000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string text = read("torn.ini");
        ASSERT_EQ(text.size(), version(0).size()) << "round " << round;
        const int index = text[9] - 'a';
        ASSERT_EQ(text, version(index)) << "round " << round;
    }
    // Unfinished replacements left behind show that kills did land inside writes.
    int unfinished = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            unfinished += std::string(e->d_name).rfind(".torn.ini.", 0) == 0;
        closedir(d);
    }
    EXPECT_GT(unfinished, 0);
}

}  // namespace
