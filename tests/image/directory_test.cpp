// Image directories: the keys Freeze writes, thawing in another process, consuming, refusals,
// and the tool's report on a directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "image/directory.h"
#include "platform/platform.h"
#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;
using tarvel_test::read_text;
using tarvel_test::run_command;
using tarvel_test::scratch_dir;

// An image kind with its brightness and contrast.
struct kind {
    int type, width, height, mode;
    double brightness, contrast;
};

// An image of kind k in dir, written with the pattern and flushed, so every page has a file.
void make_image(image& img, const scratch_dir& dir, const kind& k) {
    img.SetTempPath(dir.bare().c_str());
    ASSERT_TRUE(img.Create(k.type, k.width, k.height, k.mode));
    if (img.GetPalette() != nullptr) {
        for (int i = 0; i < 768; ++i) img.GetPalette()[i] = static_cast<unsigned char>(255 - i);
    }
    tarvel_test::fill(img);
    img.Flush();
    img.SetBrightnessContrast(k.brightness, k.contrast);
}

// Kind, geometry, settings and a digest of the palette and of every sample as region reads
// return it: the same text for images that look the same.
std::string describe(image& img) {
    std::string bytes, plane(static_cast<size_t>(img.GetWidth()) * img.GetHeight(), '\0');
    if (img.GetPalette() != nullptr) bytes.assign(reinterpret_cast<char*>(img.GetPalette()), 768);
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        img.GetRegion(0, 0, img.GetWidth() - 1, img.GetHeight() - 1, c,
                      reinterpret_cast<unsigned char*>(plane.data()));
        bytes += plane;
    }
    double b = 0, k = 0;
    img.GetBrightnessContrast(b, k);
    std::ostringstream s;
    s << "type/mode/channels " << img.GetType() << img.GetMode() << img.GetChannelCount() << ' '
      << img.GetWidth() << 'x' << img.GetHeight() << " pages " << img.GetPageCount() << 'x'
      << img.GetPageLen() << '=' << img.GetPageSize() << " cache " << img.GetCacheLimit() << " b/c "
      << b << '/' << k << " digest " << std::hash<std::string>()(bytes) << '\n';
    return s.str();
}

// Every kind, frozen as section "Layer<i>" of pyramid.ini; the other process thaws them all.
const kind kKinds[] = {{2, 100000, 25, 0, 37.5, 50},   {1, 100000, 25, 0, 50, 50},
                       {3, 100000, 21, 0, 37.5, 62.3}, {3, 3000, 400, 3, 50, 50},
                       {1, 524289, 3, 0, 41.25, 57.5}, {3, 1, 1, 3, 50, 50},
                       {3, 300000, 9, 3, 41.25, 57.5}, {2, 7, 3, 0, 60, 40}};

// In the process the test below starts, describes every image it thaws and exits before any
// test runs; elsewhere it does nothing.
class thaw_child : public testing::Environment {
  public:
    void SetUp() override {
        const char* dir = std::getenv("TARVEL_THAW_DIR");
        if (dir == nullptr) return;
        std::printf("thawed:\n");
        for (int i = 0; i < static_cast<int>(std::size(kKinds)); ++i) {
            image img;
            img.SetTempPath(dir);
            const bool ok = img.Thaw("pyramid.ini", ("Layer" + std::to_string(i)).c_str(), false);
            std::printf("%s", ok ? describe(img).c_str() : "Thaw failed\n");
        }
        std::fflush(stdout);
        _exit(0);
    }
};
testing::Environment* const kThawChild = testing::AddGlobalTestEnvironment(new thaw_child);

TEST(Directory, AnotherProcessThawsEveryKindIdenticallyAndTheToolReportsIt) {
    scratch_dir dir;
    std::string frozen = "thawed:\n", page;
    for (int i = 0; i < static_cast<int>(std::size(kKinds)); ++i) {
        image img;
        make_image(img, dir, kKinds[i]);
        ASSERT_TRUE(img.Freeze("pyramid.ini", ("Layer" + std::to_string(i)).c_str(), true));
        frozen += describe(img);
        if (i == 0) page = access::page(img, 0, 1).GetName();
    }
    char self[kMaxPath] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string out;
    EXPECT_EQ(run_command("TARVEL_THAW_DIR='" + dir.bare() + "' '" + self + "'", dir, out), 0);
    ASSERT_NE(out.find("thawed:\n"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.find("thawed:\n")), frozen);

    // The tool reports the directory complete, then one page missing (exit status 1).
    const std::string info =
        std::string(TARVEL_TOOL) + " image info " + dir.path() + " pyramid.ini Layer0";
    EXPECT_EQ(run_command(info, dir, out), 0) << out;
    EXPECT_NE(out.find("complete        yes"), std::string::npos) << out;
    ASSERT_EQ(unlink(dir.file_path(page).c_str()), 0);
    EXPECT_EQ(run_command(info, dir, out), 1) << out;
    EXPECT_NE(out.find("thaws           no: page 000-0001 names a missing file"), std::string::npos)
        << out;
}

TEST(Directory, FreezeWritesTheKeysAndThawConsumesOnlyWhenAsked) {
    EXPECT_EQ(tarvel::PageKey(2, 300) + tarvel::PageKey(0, 65536), "002-012c000-10000");

    scratch_dir dir;
    image img;
    make_image(img, dir, {2, 1000, 5000, 0, 50, 50});
    ASSERT_TRUE(img.Freeze("dir.ini", nullptr, true));
    std::string expected =
        "[dir.ini]\nType=2\nMode=1\nWidth=1000\nHeight=5000\nChannels=1\nPageCount=5\n"
        "PageLen=1048\nPageSize=1048000\nBrightness=5000\nContrast=5000\nCacheLimit=16\n";
    for (int p = 0; p < 5; ++p)
        expected += "000-000" + std::to_string(p) + "=" + access::page(img, 0, p).GetName() + "\n";
    // Then the palette file, holding the 768 palette bytes as they are.
    const std::string text = read_text(dir.file_path("dir.ini"));
    EXPECT_EQ(text.substr(0, expected.size() + 8), expected + "Palette=");
    const std::string palette = text.substr(expected.size() + 8, text.size() - expected.size() - 9);
    EXPECT_EQ(read_text(dir.file_path(palette)),
              std::string(reinterpret_cast<const char*>(img.GetPalette()), 768));
    img.Destroy();

    // Thawing without consuming deletes nothing; consuming takes the pages over and deletes the
    // directory and palette files.
    const std::vector<std::string> frozen = dir.files();  // 5 pages, palette, directory
    ASSERT_EQ(frozen.size(), 7u);
    ASSERT_TRUE(img.Thaw("dir.ini", nullptr, false));
    img.Destroy();
    EXPECT_EQ(dir.files(), frozen);
    ASSERT_TRUE(img.Thaw("dir.ini", nullptr, true));
    EXPECT_EQ(dir.files().size(), 5u);
    // A later change recreates the directory file with just those two keys.
    img.SetBrightnessContrast(60, 50);
    EXPECT_EQ(read_text(dir.file_path("dir.ini")), "[dir.ini]\nBrightness=6000\nContrast=5000\n");
    img.Destroy();
    EXPECT_EQ(dir.files(), std::vector<std::string>{"dir.ini"});
}

// Whether a copy of good.ini with one key of S changed (value null deletes it) thaws.
bool thaw_changed(const scratch_dir& dir, const char* key, const char* value) {
    std::ofstream(dir.file_path("bad.ini"), std::ios::binary)
        << read_text(dir.file_path("good.ini"));
    WritePrivateProfileStringA("S", key, value, dir.file_path("bad.ini").c_str());
    image img;
    img.SetTempPath(dir.bare().c_str());
    const bool ok = img.Thaw("bad.ini", "S", false);
    EXPECT_EQ(ok, img.IsValid());
    return ok;
}

TEST(Directory, ThawRefusesInconsistentNumbersShortFilesAndNamesOutsideItsDirectory) {
    scratch_dir dir, outside;
    image small;  // a colour single-page image: 3 channels of 2048 bytes
    make_image(small, dir, {3, 64, 32, 0, 50, 50});
    ASSERT_TRUE(small.Freeze("good.ini", "S", true));
    EXPECT_TRUE(thaw_changed(dir, "Brightness", "5000"));
    EXPECT_TRUE(thaw_changed(dir, "CacheLimit", "3"));     // the channel count
    EXPECT_TRUE(thaw_changed(dir, "CacheLimit", "8190"));  // what Create computes
    const std::string victim = outside.file_path("victim");
    std::ofstream(victim, std::ios::binary) << std::string(2048, 'V');
    const std::string up = "../" + outside.bare().substr(outside.bare().rfind('/') + 1) + "/victim";
    // Links and FIFOs inside the directory are refused too (a FIFO must not block).
    ASSERT_EQ(symlink(victim.c_str(), dir.file_path("link").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file_path("fifo").c_str(), 0600), 0);
    // Keys to change, "key" deleting one; names leading out of the directory are cut to bare
    // names, which are not there.
    std::istringstream table(
        "PageSize Type CacheLimit Width=-64 Type=4 Type=0 PageSize=2047 PageSize=9999999 "
        "PageLen=31 PageLen=33 PageCount=2 PageCount=0 CacheLimit=2 CacheLimit=8191 "
        "CacheLimit=2147483647 Channels=4 Channels=0 Width=65 Height=2147483647 000-0000= "
        "000-0000=.. 000-0000=. 000-0000=sub/.. 000-0000=sub/ 000-0000=C: "
        "000-0000=~gm0123456789abc Width=4294967360 Brightness=4294972296 000-0000=short "
        "000-0000=empty Palette=tiny");
    // A page file one byte short of a page, an empty one, a palette one byte short.
    std::ofstream(dir.file_path("short"), std::ios::binary) << std::string(2047, 's');
    std::ofstream(dir.file_path("empty"), std::ios::binary);
    std::ofstream(dir.file_path("tiny"), std::ios::binary) << std::string(767, 't');
    std::vector<std::string> refused(std::istream_iterator<std::string>(table), {});
    for (const std::string& name :
         {victim, up, std::string("..\\..\\victim"), std::string("c:victim"), std::string("link"),
          std::string("fifo")}) {
        refused.insert(refused.end(), {"000-0000=" + name, "Palette=" + name});
    }
    for (const std::string& r : refused) {
        const size_t eq = r.find('=');
        EXPECT_FALSE(
            thaw_changed(dir, r.substr(0, eq).c_str(), eq == r.npos ? nullptr : &r[eq + 1]))
            << r;
    }
    EXPECT_EQ(read_text(victim), std::string(2048, 'V'));
}

}  // namespace
