// Page-file failures are recorded and fail Flush and Freeze; page files are private and never
// followed through links; directories too long for page names are refused; unbound iterators
// copy; region reads at the end of a plane of nearly 2^31 bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "image/directory.h"
#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;
using tarvel_test::captured_stdout;
using tarvel_test::read_text;
using tarvel_test::scratch_dir;

// A grey image of three pages (2000 x 1500: 524 lines a page), every page written and flushed.
class PageErrors : public tarvel_test::scratch_image {
  protected:
    void SetUp() override {
        ASSERT_TRUE(img.Create(1, 2000, 1500, 0));
        tarvel_test::fill(img);
        ASSERT_TRUE(img.Flush());
    }
    std::string path(int k) { return dir.path() + access::page(img, 0, k).GetName(); }
    // Reads every page and writes every page back, as walking the image does.
    void touch_all() {
        for (int k = 0; k < 3; ++k) {
            access::fetch(img, 0, k * img.GetPageSize())[0] = 1;
            access::set_dirty(access::page(img, 0, k));
        }
        img.Flush();
    }
};

TEST_F(PageErrors, FailuresAreRecordedAndMakeFlushAndFreezeFail) {
    // What goes wrong with page 1's file, and whether reading or writing it fails.
    struct damage {
        const char* what;
        void (*apply)(const std::string& path);
        bool saving;
    };
    const damage cases[] = {
        {"deleted", [](const std::string& p) { unlink(p.c_str()); }, false},
        {"truncated", [](const std::string& p) { EXPECT_EQ(truncate(p.c_str(), 10), 0); }, false},
        {"a directory",
         [](const std::string& p) {
             unlink(p.c_str());
             mkdir(p.c_str(), 0700);
         },
         false},
    };
    for (const damage& d : cases) {
        SCOPED_TRACE(d.what);
        SetUp();
        const std::string victim = path(1);
        d.apply(victim);
        captured_stdout([&] { touch_all(); });
        EXPECT_EQ(img.GetPageLoadFailures(), 1);
        EXPECT_NE(std::string(img.GetError()).find("page file " + victim + ": "), std::string::npos)
            << img.GetError();
        // Nothing of the image is stored: its page 1 would be zeros.
        EXPECT_FALSE(img.Freeze("dir.ini", nullptr, true));
        EXPECT_EQ(read_text(dir.path() + "dir.ini"), "");
        rmdir(victim.c_str());
        img.Destroy();
        EXPECT_EQ(img.GetPageLoadFailures() + img.GetPageSaveFailures(), 0) << "cleared";
        EXPECT_STREQ(img.GetError(), "");
    }
    // A save that fails (the file became a directory): Flush reports it from then on.
    SetUp();
    const std::string victim = path(2);
    unlink(victim.c_str());
    mkdir(victim.c_str(), 0700);
    access::fetch(img, 0, 2 * img.GetPageSize())[0] = 9;
    access::set_dirty(access::page(img, 0, 2));
    const std::string said = captured_stdout([&] { EXPECT_FALSE(img.Flush()); });
    EXPECT_NE(said.find("Error opening file " + victim + "\n"), std::string::npos) << said;
    EXPECT_EQ(img.GetPageLoadFailures(), 1);
    EXPECT_EQ(img.GetPageSaveFailures(), 1);
    EXPECT_EQ(img.GetError(), "cannot read page file " + victim + ": not a regular file")
        << "the first failure is the one kept";
    EXPECT_FALSE(img.Flush()) << "the lost samples stay lost";
    EXPECT_FALSE(img.Freeze("dir.ini", nullptr, true));
    rmdir(victim.c_str());
}

TEST_F(PageErrors, PageFilesArePrivateAndLinksAreNeverFollowed) {
    struct stat st {};
    ASSERT_EQ(stat(path(0).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Someone replaces page 0's file by a link to a file of theirs, page 1's by a FIFO.
    scratch_dir other;
    const std::string victim = other.path() + "victim";
    std::ofstream(victim) << "the victim's bytes";
    unlink(path(0).c_str());
    ASSERT_EQ(symlink(victim.c_str(), path(0).c_str()), 0);
    unlink(path(1).c_str());
    ASSERT_EQ(mkfifo(path(1).c_str(), 0600), 0);
    captured_stdout([&] { touch_all(); });
    EXPECT_EQ(read_text(victim), "the victim's bytes");
    EXPECT_EQ(img.GetPageLoadFailures(), 2);
    EXPECT_EQ(img.GetPageSaveFailures(), 2);
    // Read as zeros, never through the link.
    EXPECT_EQ(access::fetch(img, 0, 1)[0], 0);
}

TEST(PageErrorsTempPath, DirectoriesTooLongForPageNamesAreRefused) {
    image img;
    // 243 characters, '/', a page name of 15 and the NUL fill 260.
    const std::string fits(243, 'd');
    EXPECT_TRUE(img.SetTempPath(fits.c_str()));
    EXPECT_EQ(img.GetTempPath(), fits + "/");
    EXPECT_FALSE(img.SetTempPath((fits + "d").c_str()));
    EXPECT_EQ(img.GetTempPath(), fits + "/") << "unchanged";
    EXPECT_NE(std::string(img.GetError()).find("too long"), std::string::npos);

    // A system temporary directory that is too long: pages fail to save and
    // say why; nothing lands in the current directory.
    scratch_dir cwd;
    const std::string saved = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", ("/tmp/" + std::string(300, 't')).c_str(), 1);
    image orphan(1, 100, 100, 0);
    saved.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved.c_str(), 1);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(cwd.path().c_str()), 0);
    access::fetch(orphan, 0, 0)[0] = 1;
    captured_stdout([&] { EXPECT_FALSE(orphan.Flush()); });
    EXPECT_EQ(chdir(here), 0);
    EXPECT_TRUE(cwd.files().empty());
    EXPECT_NE(std::string(orphan.GetError()).find("no temporary directory"), std::string::npos);
}

TEST(Iterators, CopiesOfUnboundIteratorsAreUnbound) {
    image img(1, 10, 10, 0);  // outlives its iterators
    std::vector<image::pointer> writers(3);
    writers.resize(40);  // copies the unbound ones
    std::vector<image::ipointer> readers(3);
    readers.reserve(40);
    writers.emplace_back(&img, 0, 5);
    readers = std::vector<image::ipointer>(writers.size() - 1);
    readers.emplace_back(&img, 0, 5);
    const image::pointer copy(writers[0]);
    const image::ipointer again(readers[0], 3);
    EXPECT_EQ(copy.GetPtr(), nullptr);
    EXPECT_EQ(again.GetPtr(), nullptr);
    EXPECT_EQ(access::page(img, 0, 0).GetLockCount(), 2);
}

TEST(Region, LastRowsOfAPlaneOfNearlyTwoGibibytes) {
    // 1000 x 2147483: the page after the last would start past 2^31 - 1.
    scratch_dir dir;
    image img;
    img.SetTempPath(dir.bare().c_str());
    ASSERT_TRUE(img.Create(1, 1000, 2147483, 0));
    std::vector<unsigned char> rows(3 * 1000, 7);
    img.GetRegion(0, 2147480, 999, 2147482, 0, rows.data());
    EXPECT_EQ(rows, std::vector<unsigned char>(3 * 1000, 0));
    std::vector<int> rgb(3 * 1000, 7);
    img.GetRegionRGB(0, 2147480, 999, 2147482, rgb.data());
    EXPECT_EQ(rgb, std::vector<int>(3 * 1000, 0));
}

}  // namespace
