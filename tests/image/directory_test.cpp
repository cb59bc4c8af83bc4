// Image directories: the keys Freeze writes, round trips, consuming, refusals, and thawing
// elsewhere.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image/directory.h"
#include "image/image.h"
#include "platform/platform.h"
#include "test_access.h"

namespace {

using tarvel::image;
using tarvel_test::scratch_dir;

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// SetTempPath appends the separator itself.
std::string no_slash(const scratch_dir& dir) {
    return dir.path().substr(0, dir.path().size() - 1);
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

unsigned char sample(int channel, int offset) {
    return static_cast<unsigned char>(offset * 13 + offset / 977 + channel * 71);
}

void write_pattern(image& img) {
    const int n = img.GetWidth() * img.GetHeight();
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        image::pointer p(&img, c, 0);
        for (int i = 0; i < n; ++i, ++p) *p = sample(c, i);
    }
}

// An image in dir, written with the pattern and flushed, so every page has a file.
void make_image(image& img, const scratch_dir& dir, int type, int width, int height, int mode) {
    img.SetTempPath(no_slash(dir).c_str());
    ASSERT_TRUE(img.Create(type, width, height, mode));
    if (img.GetPalette() != nullptr) {
        for (int i = 0; i < 768; ++i) img.GetPalette()[i] = static_cast<unsigned char>(255 - i);
    }
    write_pattern(img);
    img.Flush();
}

// Every pixel's samples, through region reads, compared between two images.
void expect_same_samples(image& a, image& b) {
    std::vector<unsigned char> la(a.GetWidth()), lb(b.GetWidth());
    for (int c = 0; c < a.GetChannelCount(); ++c) {
        for (int y = 0; y < a.GetHeight(); ++y) {
            a.GetRegion(0, y, a.GetWidth() - 1, y, c, la.data());
            b.GetRegion(0, y, b.GetWidth() - 1, y, c, lb.data());
            ASSERT_EQ(la, lb) << "channel " << c << " line " << y;
        }
    }
}

TEST(Directory, FreezeWritesTheKeysInOrderAndFormat) {
    EXPECT_EQ(tarvel::PageKey(0, 26), "000-001a");
    EXPECT_EQ(tarvel::PageKey(2, 300), "002-012c");
    EXPECT_EQ(tarvel::PageKey(0, 65536), "000-10000");
    EXPECT_EQ(tarvel::ToHundredths(37.5), 3750);
    EXPECT_EQ(tarvel::ToHundredths(0.125), 13);    // half up
    EXPECT_EQ(tarvel::ToHundredths(-0.125), -12);  // half up, not away from zero
    EXPECT_EQ(tarvel::ToHundredths(1e300), INT_MAX);
    EXPECT_EQ(tarvel::ToHundredths(-1e300), INT_MIN);

    scratch_dir dir;
    image img;
    make_image(img, dir, 1, 1000, 5000, 0);
    ASSERT_TRUE(img.Freeze("dir.ini", nullptr, true));
    EXPECT_TRUE(img.IsDirectoryAttached());
    EXPECT_EQ(img.GetDirectoryFile(), dir.path() + "dir.ini");
    EXPECT_EQ(img.GetDirectorySection(), "dir.ini");
    std::string expected =
        "[dir.ini]\nType=1\nMode=0\nWidth=1000\nHeight=5000\nChannels=1\nPageCount=5\n"
        "PageLen=1048\nPageSize=1048000\nBrightness=5000\nContrast=5000\nCacheLimit=16\n";
    for (int p = 0; p < 5; ++p) {
        const std::string name = tarvel::image_test_access::page(img, 0, p).GetName();
        EXPECT_EQ(name.rfind("~gm", 0), 0u);
        expected += "000-000" + std::to_string(p) + "=" + name + "\n";
    }
    EXPECT_EQ(read_text(dir.file_path("dir.ini")), expected);

    // Brightness and contrast changes while attached go to the same section.
    img.SetBrightnessContrast(37.5, 62.34);
    char value[16];
    const std::string file = dir.file_path("dir.ini");
    GetPrivateProfileStringA("dir.ini", "Brightness", "", value, sizeof value, file.c_str());
    EXPECT_STREQ(value, "3750");
    GetPrivateProfileStringA("dir.ini", "Contrast", "", value, sizeof value, file.c_str());
    EXPECT_STREQ(value, "6230");
}

TEST(Directory, EveryKindThawsWithItsSamplesGeometryAndSettings) {
    struct kind {
        int type, width, height, mode;
    };
    const kind kinds[] = {{1, 100000, 25, 0}, {2, 7, 3, 0},      {3, 100000, 21, 0},
                          {3, 3000, 400, 3},  {1, 524289, 3, 0}, {3, 1, 1, 3}};
    for (const kind& k : kinds) {
        SCOPED_TRACE(testing::Message()
                     << "type " << k.type << " " << k.width << " x " << k.height);
        scratch_dir dir;
        image original;
        make_image(original, dir, k.type, k.width, k.height, k.mode);
        original.SetBrightnessContrast(37.5, 62.3);
        ASSERT_TRUE(original.Freeze("img.ini", "Layer0", true));

        image thawed;
        thawed.SetTempPath(no_slash(dir).c_str());
        ASSERT_TRUE(thawed.Thaw("img.ini", "Layer0", false));
        EXPECT_EQ(thawed.GetType(), original.GetType());
        EXPECT_EQ(thawed.GetMode(), original.GetMode());
        EXPECT_EQ(thawed.GetChannelCount(), original.GetChannelCount());
        EXPECT_EQ(thawed.GetWidth(), k.width);
        EXPECT_EQ(thawed.GetHeight(), k.height);
        EXPECT_EQ(thawed.GetPageCount(), original.GetPageCount());
        EXPECT_EQ(thawed.GetPageLen(), original.GetPageLen());
        EXPECT_EQ(thawed.GetPageSize(), original.GetPageSize());
        EXPECT_EQ(thawed.GetCacheLimit(), original.GetCacheLimit());
        EXPECT_EQ(thawed.GetInMemoryCount(), 0);
        EXPECT_TRUE(thawed.IsPersistent());
        double b = 0, c = 0;
        thawed.GetBrightnessContrast(b, c);
        EXPECT_EQ(b, 37.5);
        EXPECT_DOUBLE_EQ(c, 62.3);
        ASSERT_EQ(thawed.GetPalette() != nullptr, k.type == 2);
        if (k.type == 2) {
            EXPECT_EQ(std::memcmp(thawed.GetPalette(), original.GetPalette(), 768), 0);
        }
        expect_same_samples(original, thawed);
    }
}

TEST(Directory, ConsumingTakesTheFilesOverAndKeepingDeletesNothing) {
    scratch_dir dir;
    std::vector<std::string> pages;
    {
        image img;
        make_image(img, dir, 2, 100000, 25, 0);
        ASSERT_TRUE(img.Freeze("img.ini", nullptr, true));
    }
    const std::vector<std::string> frozen = dir.files();  // 3 pages, palette, directory
    ASSERT_EQ(frozen.size(), 5u);
    {
        image kept;
        kept.SetTempPath(no_slash(dir).c_str());
        ASSERT_TRUE(kept.Thaw("img.ini", nullptr, false));
    }
    EXPECT_EQ(dir.files(), frozen);

    image img;
    img.SetTempPath(no_slash(dir).c_str());
    ASSERT_TRUE(img.Thaw("img.ini", nullptr, true));
    EXPECT_FALSE(img.IsPersistent());
    EXPECT_EQ(dir.files().size(), 3u);  // directory and palette files gone, pages stay
    EXPECT_FALSE(exists(dir.file_path("img.ini")));
    // A later change recreates the directory file with just those two keys.
    img.SetBrightnessContrast(60, 50);
    EXPECT_EQ(read_text(dir.file_path("img.ini")), "[img.ini]\nBrightness=6000\nContrast=5000\n");
    img.Destroy();
    EXPECT_EQ(dir.files(), std::vector<std::string>{"img.ini"});

    // Frozen without persistence, the pages go with the image and the directory no longer thaws.
    image temporary;
    make_image(temporary, dir, 1, 100, 100, 0);
    ASSERT_TRUE(temporary.Freeze("t.ini", nullptr, false));
    temporary.Destroy();
    EXPECT_FALSE(temporary.Thaw("t.ini", nullptr, false));
    EXPECT_FALSE(temporary.IsValid());
    EXPECT_TRUE(temporary.IsDirectoryAttached());
    EXPECT_EQ(temporary.GetDirectoryFile(), dir.path() + "t.ini");
}

// A grey single-page image frozen in dir as "good.ini"; returns its page file's name.
std::string freeze_small(const scratch_dir& dir) {
    image img;
    make_image(img, dir, 1, 64, 32, 0);
    EXPECT_TRUE(img.Freeze("good.ini", "S", true));
    return tarvel::image_test_access::page(img, 0, 0).GetName();
}

// Thaws a copy of good.ini with one key changed (value null deletes it).
bool thaw_changed(const scratch_dir& dir, const char* key, const char* value) {
    std::ofstream(dir.file_path("bad.ini"), std::ios::binary)
        << read_text(dir.file_path("good.ini"));
    WritePrivateProfileStringA("S", key, value, dir.file_path("bad.ini").c_str());
    image img;
    img.SetTempPath(no_slash(dir).c_str());
    const bool ok = img.Thaw("bad.ini", "S", false);
    EXPECT_EQ(ok, img.IsValid());
    return ok;
}

TEST(Directory, ThawRefusesMissingNegativeAndInconsistentNumbers) {
    scratch_dir dir;
    freeze_small(dir);
    EXPECT_TRUE(thaw_changed(dir, "Brightness", "5000"));
    EXPECT_TRUE(thaw_changed(dir, "CacheLimit", "1"));  // at least the channel count
    EXPECT_TRUE(thaw_changed(dir, "Mode", "3"));        // ignored for grey
    const char* refused[][2] = {
        {"PageSize", nullptr},    {"Type", nullptr},       {"CacheLimit", nullptr},
        {"Width", "-64"},         {"Type", "4"},           {"Type", "0"},
        {"PageSize", "2047"},     {"PageSize", "9999999"}, {"PageLen", "31"},
        {"PageCount", "2"},       {"PageCount", "0"},      {"CacheLimit", "0"},
        {"Channels", "3"},        {"Channels", "0"},       {"Width", "65"},
        {"Height", "2147483647"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(thaw_changed(dir, r[0], r[1])) << r[0] << "=" << (r[1] ? r[1] : "(none)");
    }

    // A colour directory stored with Mode 0 thaws as Mode 2 with three channels.
    image colour;
    make_image(colour, dir, 3, 16, 16, 2);
    ASSERT_TRUE(colour.Freeze("c.ini", nullptr, true));
    WritePrivateProfileStringA("c.ini", "Mode", "0", dir.file_path("c.ini").c_str());
    image thawed;
    thawed.SetTempPath(no_slash(dir).c_str());
    ASSERT_TRUE(thawed.Thaw("c.ini", nullptr, false));
    EXPECT_EQ(thawed.GetMode(), 2);
    EXPECT_EQ(thawed.GetChannelCount(), 3);
}

TEST(Directory, ThawNeverNamesAFileOutsideItsDirectory) {
    scratch_dir dir;
    scratch_dir outside;
    const std::string page = freeze_small(dir);
    std::ofstream(outside.file_path("victim"), std::ios::binary) << std::string(2048, 'V');
    const std::string victim = outside.file_path("victim");
    const std::string relative =
        "../" + outside.path().substr(outside.path().rfind('/', outside.path().size() - 2) + 1) +
        "victim";

    // Names leading out of the directory are cut to bare names, which are not there.
    for (const std::string& value :
         {victim, relative, std::string("..\\..\\victim"), std::string("c:victim")}) {
        EXPECT_FALSE(thaw_changed(dir, "000-0000", value.c_str())) << value;
        EXPECT_FALSE(thaw_changed(dir, "Palette", value.c_str())) << value;
    }
    for (const char* value : {"", "x", "..", ".", "sub/..", "sub/", "C:", "~gm0123456789abc"}) {
        EXPECT_FALSE(thaw_changed(dir, "000-0000", value)) << value;
    }
    // A link or a FIFO inside the directory is refused too (a FIFO must not block).
    ASSERT_EQ(symlink(victim.c_str(), dir.file_path("link").c_str()), 0);
    EXPECT_FALSE(thaw_changed(dir, "000-0000", "link"));
    ASSERT_EQ(mkfifo(dir.file_path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(thaw_changed(dir, "000-0000", "fifo"));
    EXPECT_FALSE(thaw_changed(dir, "Palette", "fifo"));

    // With a file of that bare name inside, the inside one is used and consumed, never the outside
    // one.
    std::ofstream(dir.file_path("victim"), std::ios::binary) << std::string(2048, 'i');
    std::ofstream(dir.file_path("pal"), std::ios::binary) << std::string(768, 'p');
    std::ofstream(outside.file_path("pal"), std::ios::binary) << std::string(768, 'P');
    std::ofstream(dir.file_path("bad.ini"), std::ios::binary)
        << read_text(dir.file_path("good.ini"));
    WritePrivateProfileStringA("S", "000-0000", victim.c_str(), dir.file_path("bad.ini").c_str());
    const std::string palette = relative.substr(0, relative.size() - 6) + "pal";
    WritePrivateProfileStringA("S", "Palette", palette.c_str(), dir.file_path("bad.ini").c_str());
    {
        image img;
        img.SetTempPath(no_slash(dir).c_str());
        ASSERT_TRUE(img.Thaw("bad.ini", "S", true));
        unsigned char px[4];
        img.GetRegion(0, 0, 3, 0, 0, px);
        for (unsigned char v : px) EXPECT_EQ(v, 'i');
        img.SetBrightnessContrast(70, 50);  // rewrites bad.ini, inside
    }
    EXPECT_FALSE(exists(dir.file_path("victim")));
    EXPECT_FALSE(exists(dir.file_path("pal")));
    EXPECT_EQ(read_text(victim), std::string(2048, 'V'));
    EXPECT_EQ(read_text(outside.file_path("pal")), std::string(768, 'P'));
    EXPECT_EQ(outside.files(), (std::vector<std::string>{"pal", "victim"}));
    EXPECT_TRUE(exists(dir.file_path(page)));
    unlink(dir.file_path("link").c_str());
    unlink(dir.file_path("fifo").c_str());
}

TEST(Directory, ShortPageFilesReadAsFarAsTheyGo) {
    scratch_dir dir;
    const std::string page = freeze_small(dir);
    ASSERT_EQ(truncate(dir.file_path(page).c_str(), 100), 0);
    image img;
    img.SetTempPath(no_slash(dir).c_str());
    ASSERT_TRUE(img.Thaw("good.ini", "S", false));
    std::vector<unsigned char> line(64);
    const std::string printed =
        tarvel_test::captured_stdout([&] { img.GetRegion(0, 1, 63, 1, 0, line.data()); });
    EXPECT_EQ(printed, "\nError reading file " + dir.file_path(page));
    for (int x = 0; x < 36; ++x) EXPECT_EQ(line[x], sample(0, 64 + x)) << x;
    for (int x = 36; x < 64; ++x) EXPECT_EQ(line[x], 0) << x;
}

// Runs the tool; returns its exit status and standard output.
int run_tool(const std::string& args, std::string& out) {
    std::FILE* p = popen((std::string(TARVEL_TOOL) + " " + args + " 2>&1").c_str(), "r");
    if (p == nullptr) return -1;
    char buf[512];
    std::size_t n;
    out.clear();
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Directory, ToolReportsCompletenessWithoutTouchingAnything) {
    scratch_dir dir;
    image img;
    make_image(img, dir, 2, 100000, 25, 0);
    img.SetBrightnessContrast(37.5, 50);
    ASSERT_TRUE(img.Freeze("pyr.ini", "Layer1", true));
    const std::string page = tarvel::image_test_access::page(img, 0, 1).GetName();
    img.Destroy();
    const std::string ini = read_text(dir.file_path("pyr.ini"));
    struct stat before {};
    ASSERT_EQ(stat(dir.file_path("pyr.ini").c_str(), &before), 0);

    std::string out;
    EXPECT_EQ(run_tool("image info " + dir.path() + " pyr.ini Layer1", out), 0) << out;
    EXPECT_NE(out.find("Type 2, Mode 1"), std::string::npos) << out;
    EXPECT_NE(out.find("100000 x 25 pixels"), std::string::npos) << out;
    EXPECT_NE(out.find("brightness      37.50"), std::string::npos) << out;
    EXPECT_NE(out.find("page files      3 of 3 present with 1000000 bytes"), std::string::npos);
    EXPECT_NE(out.find("complete        yes"), std::string::npos) << out;

    ASSERT_EQ(truncate(dir.file_path(page).c_str(), 10), 0);
    EXPECT_EQ(run_tool("image info " + no_slash(dir) + " pyr.ini Layer1", out), 1) << out;
    EXPECT_NE(out.find("000-0001  " + page + " has 10 bytes, not 1000000"), std::string::npos)
        << out;
    EXPECT_NE(out.find("thaws           yes"), std::string::npos) << out;  // short pages thaw
    ASSERT_EQ(unlink(dir.file_path(page).c_str()), 0);
    EXPECT_EQ(run_tool("image info " + dir.path() + " pyr.ini Layer1", out), 1) << out;
    EXPECT_NE(out.find("thaws           no: page 000-0001 names a missing file"), std::string::npos)
        << out;
    EXPECT_EQ(run_tool("image info " + dir.path() + " pyr.ini Layer9", out), 2) << out;
    EXPECT_EQ(run_tool("image info " + dir.path() + " none.ini", out), 2) << out;

    struct stat after {};
    ASSERT_EQ(stat(dir.file_path("pyr.ini").c_str(), &after), 0);
    EXPECT_EQ(read_text(dir.file_path("pyr.ini")), ini);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// The image thawed by another process: colour, four channels, several pages.
constexpr int kChildWidth = 300000;
constexpr int kChildHeight = 9;

TEST(Directory, AnotherProcessThawsIdenticalSamplesAndSettings) {
    scratch_dir dir;
    image img;
    make_image(img, dir, 3, kChildWidth, kChildHeight, 3);
    img.SetBrightnessContrast(41.25, 57.5);
    ASSERT_TRUE(img.Freeze("pyramid.ini", "Layer3", true));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TARVEL_THAW_DIR", dir.path().c_str(), 1);
        execl("/proc/self/exe", "child", "--gtest_filter=DirectoryChild.*", nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Runs only in the process started above; elsewhere it has nothing to check.
TEST(DirectoryChild, ThawsWhatTheParentFroze) {
    const char* path = std::getenv("TARVEL_THAW_DIR");
    if (path == nullptr) GTEST_SKIP() << "run by Directory.AnotherProcessThaws...";
    image img;
    img.SetTempPath(std::string(path, std::strlen(path) - 1).c_str());
    ASSERT_TRUE(img.Thaw("pyramid.ini", "Layer3", false));
    EXPECT_EQ(img.GetType(), 3);
    EXPECT_EQ(img.GetMode(), 3);
    EXPECT_EQ(img.GetChannelCount(), 4);
    EXPECT_EQ(img.GetWidth(), kChildWidth);
    EXPECT_EQ(img.GetHeight(), kChildHeight);
    EXPECT_EQ(img.GetPageLen(), 3);
    EXPECT_EQ(img.GetPageSize(), 900000);
    EXPECT_EQ(img.GetPageCount(), 3);
    EXPECT_EQ(img.GetCacheLimit(), 16);  // 16777216 / 900000 = 18, down to a multiple of 4
    double b = 0, c = 0;
    img.GetBrightnessContrast(b, c);
    EXPECT_EQ(b, 41.25);
    EXPECT_DOUBLE_EQ(c, 57.5);
    // The same samples the parent saw: its pattern through the same mapping.
    image expected(3, kChildWidth, kChildHeight, 3);
    write_pattern(expected);
    expected.Flush();
    expected.SetBrightnessContrast(41.25, 57.5);
    expect_same_samples(expected, img);
}

}  // namespace
