// Page files: creation on first save, reuse, deletion, and the four error messages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;
using tarvel_test::captured_stdout;

long file_size(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

class PageFileTest : public testing::Test {
  protected:
    void SetUp() override { img.SetTempPath(dir.bare().c_str()); }
    std::string pathOf(const image::scan_page& p) { return dir.path() + p.GetName(); }

    tarvel_test::scratch_dir dir;
    image img;
};

TEST_F(PageFileTest, FileIsCreatedAtFirstSaveReusedAndDeletedWithTheImage) {
    ASSERT_TRUE(img.Create(1, 2000, 1500, 0));  // PageLen 524, PageSize 1048000, 3 pages
    image::scan_page& page = access::page(img, 0, 1);
    unsigned char* bytes = access::fetch(img, 0, 1 * 1048000);
    EXPECT_TRUE(page.IsDirty()) << "a page without a file starts as zeros to be written";
    EXPECT_STREQ(page.GetName(), "");
    EXPECT_TRUE(dir.files().empty()) << "nothing is written before the first save";
    for (int i = 0; i < 1048000; ++i) EXPECT_EQ(bytes[i], 0) << i;

    bytes[5] = 77;
    img.Flush();
    const std::string name = page.GetName();
    EXPECT_EQ(name.rfind("~gm", 0), 0u);
    EXPECT_LE(name.size(), 15u);
    EXPECT_EQ(file_size(dir.path() + name), 1048000);
    EXPECT_FALSE(page.IsDirty());

    // Saving again reuses the same file; a clean page is never written.
    access::fetch(img, 0, 1048000)[6] = 78;
    access::set_dirty(page);
    img.Flush();
    EXPECT_EQ(page.GetName(), name);
    EXPECT_EQ(dir.files().size(), 1u);
    access::fetch(img, 0, 1048000);
    EXPECT_FALSE(page.IsDirty());
    ASSERT_EQ(unlink((dir.path() + name).c_str()), 0);
    img.Flush();  // clean: does not touch the (now missing) file
    EXPECT_TRUE(dir.files().empty());
}

TEST_F(PageFileTest, PersistentImagesKeepTheirFiles) {
    for (bool persistent : {false, true}) {
        ASSERT_TRUE(img.Create(1, 1000, 3000, 0));  // 3 pages
        img.SetPersistent(persistent);
        for (int k = 0; k < 3; ++k) access::fetch(img, 0, k * img.GetPageSize());
        img.Flush();
        EXPECT_EQ(dir.files().size(), 3u);
        img.Destroy();
        EXPECT_EQ(dir.files().size(), persistent ? 3u : 0u);
        for (const std::string& f : dir.files()) unlink(dir.file_path(f).c_str());
    }
    // The destructor deletes as Destroy does.
    {
        image scoped;
        scoped.SetTempPath(dir.bare().c_str());
        scoped.Create(3, 100, 100, 0);
        access::fetch(scoped, 2, 0);
        scoped.Flush();
        EXPECT_EQ(dir.files().size(), 1u);
    }
    EXPECT_TRUE(dir.files().empty());
}

TEST_F(PageFileTest, WriterHeldPagesStayDirtyAcrossSaves) {
    ASSERT_TRUE(img.Create(1, 1000, 100, 0));
    image::scan_page& page = access::page(img, 0, 0);
    access::fetch(img, 0, 0);
    access::lock(page);
    EXPECT_TRUE(access::save(page));
    EXPECT_TRUE(page.IsDirty()) << "a writer still holds the page";
    EXPECT_TRUE(access::load(page));
    EXPECT_TRUE(page.IsDirty());
    access::unlock(page);
    EXPECT_TRUE(access::save(page));
    EXPECT_FALSE(page.IsDirty());
}

TEST_F(PageFileTest, TheFourMessagesNameTheFailingPath) {
    ASSERT_TRUE(img.Create(1, 1000, 3000, 0));
    const int size = img.GetPageSize();
    for (int k = 0; k < 3; ++k)
        access::fetch(img, 0, k * size)[0] = static_cast<unsigned char>(k + 1);
    img.Flush();
    image::scan_page& missing = access::page(img, 0, 0);
    image::scan_page& shortFile = access::page(img, 0, 1);
    ASSERT_EQ(unlink(pathOf(missing).c_str()), 0);
    ASSERT_EQ(truncate(pathOf(shortFile).c_str(), 10), 0);

    // Loading: an unopenable file and a short file; both pages read as zeros past what the file
    // gave.
    std::string out = captured_stdout([&] {
        unsigned char* p = access::fetch(img, 0, 0);
        EXPECT_EQ(p[0], 0);
    });
    EXPECT_EQ(out, "\nError opening file " + pathOf(missing));
    out = captured_stdout([&] {
        unsigned char* p = access::fetch(img, 0, size);
        EXPECT_EQ(p[0], 2) << "the bytes the file holds are used";
        EXPECT_EQ(p[10], 0);
        EXPECT_EQ(p[size - 1], 0);
    });
    EXPECT_EQ(out, "\nError reading file " + pathOf(shortFile));
    EXPECT_FALSE(shortFile.IsDirty());

    // Saving to a file deleted from outside: the page stays dirty.
    access::set_dirty(missing);
    out = captured_stdout([&] { EXPECT_FALSE(access::save(missing)); });
    EXPECT_EQ(out, "Error opening file " + pathOf(missing) + "\n");
    EXPECT_TRUE(missing.IsDirty());

    // A full device: the write fails. /dev/full accepts opens and refuses writes.
    if (::access("/dev/full", W_OK) == 0) {
        image full;
        full.SetTempPath("/dev");
        ASSERT_TRUE(full.Create(1, 10, 10, 0));
        image::scan_page& fp = access::page(full, 0, 0);
        access::fetch(full, 0, 0);
        access::set_name(fp, "full");
        full.SetPersistent(true);  // never try to delete /dev/full
        out = captured_stdout([&] { EXPECT_FALSE(access::save(fp)); });
        EXPECT_EQ(out, "Error writing file /dev/full\n");
        EXPECT_TRUE(fp.IsDirty());
    }
}

TEST_F(PageFileTest, MissingTemporaryDirectoryLosesTheSaveButNeverCrashes) {
    img.SetTempPath((dir.path() + "does-not-exist").c_str());
    ASSERT_TRUE(img.Create(1, 1000, 3000, 0));
    unsigned char* p = access::fetch(img, 0, 0);
    p[0] = 5;
    std::string out = captured_stdout([&] { img.Flush(); });
    EXPECT_EQ(out.rfind("Error opening file " + dir.path() + "does-not-exist/~gm", 0), 0u) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_STREQ(access::page(img, 0, 0).GetName(), "") << "no file was created";
    // The page comes back as zeros (it never reached a file) and the image stays usable.
    EXPECT_EQ(access::fetch(img, 0, 0)[0], 0);
    unsigned char row[1000];
    img.GetRegion(0, 2999, 999, 2999, 0, row);
    EXPECT_EQ(row[999], 0);
}

}  // namespace
