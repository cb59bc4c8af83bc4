// Pages: the geometry Create computes and what it refuses; least-recently-used eviction, buffer
// reuse, pins and Flush in the cache; page files created at first save, reused and deleted, and
// the four error messages.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <tuple>

#include "platform/platform.h"
#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;
using tarvel_test::captured_stdout;

// Expected values worked out by hand from the page rules: about one mebibyte of whole lines per
// page, about sixteen mebibytes of pages in the cache, in whole pixels (all channels).
TEST(ImageGeometry, KindsPagesAndCacheFollowTheMebibyteRules) {
    struct geometry {
        int type, width, height, mode;
        int gotMode, channels, pageLen, pageSize, pageCount, cacheLimit;
    };
    const geometry cases[] = {
        {3, 1000, 5000, 0, 2, 3, 1048, 1048000, 5, 15},
        {1, 1000, 5000, 0, 0, 1, 1048, 1048000, 5, 16},
        {1, 640, 480, 5, 0, 1, 480, 307200, 1, 54},
        {1, 600000, 3, 0, 0, 1, 1, 600000, 3, 27},
        {1, 524288, 4, 0, 0, 1, 2, 1048576, 2, 16},
        {1, 524288, 1, 0, 0, 1, 1, 524288, 1, 32},
        {1, 524289, 4, 0, 0, 1, 1, 524289, 4, 31},
        {3, 524289, 2, 3, 3, 4, 1, 524289, 2, 28},
        {2, 1, 1, 9, 1, 1, 1, 1, 1, 16777216},
        {3, 7, 3, 7, 2, 3, 3, 21, 1, 798915},
    };
    for (const geometry& g : cases) {
        SCOPED_TRACE(testing::Message() << g.width << " x " << g.height << " type " << g.type);
        tarvel::image img;
        ASSERT_TRUE(img.Create(g.type, g.width, g.height, g.mode));
        EXPECT_EQ(std::make_tuple(img.GetMode(), img.GetChannelCount(), img.GetPageLen(),
                                  img.GetPageSize(), img.GetPageCount(), img.GetCacheLimit()),
                  std::make_tuple(g.gotMode, g.channels, g.pageLen, g.pageSize, g.pageCount,
                                  g.cacheLimit));
    }
}

TEST(ImageGeometry, NonsenseSizesAndTypesLeaveTheImageEmpty) {
    const int bad[][3] = {{4, 10, 10}, {0, 10, 10},       {1, 0, 10},         {1, 10, 0},
                          {1, -5, 10}, {3, 65536, 32768}, {1, 2147483647, 2}, {1, 46341, 46341}};
    for (const auto& b : bad) {
        SCOPED_TRACE(testing::Message() << b[0] << " " << b[1] << " x " << b[2]);
        tarvel::image img(2, 10, 10, 0);
        EXPECT_FALSE(img.Create(b[0], b[1], b[2], 0));
        EXPECT_FALSE(img.IsValid());
        EXPECT_EQ(img.GetWidth() + img.GetHeight(), 0);
        EXPECT_EQ(img.GetPalette(), nullptr);
    }
    // The largest plane that still fits a signed 32-bit offset is accepted.
    tarvel::image big;
    EXPECT_TRUE(big.Create(1, 2147483647, 1, 0));
}

class PageFileTest : public tarvel_test::scratch_image {
  protected:
    std::string pathOf(const image::scan_page& p) { return dir.path() + p.GetName(); }
};

TEST_F(PageFileTest, FileIsCreatedAtFirstSaveReusedAndDeletedUnlessPersistent) {
    ASSERT_TRUE(img.Create(1, 2000, 1500, 0));  // PageLen 524, PageSize 1048000, 3 pages
    image::scan_page& page = access::page(img, 0, 1);
    unsigned char* bytes = access::fetch(img, 0, 1048000);
    EXPECT_EQ(bytes[0] + bytes[1047999], 0) << "a page without a file starts as zeros";
    EXPECT_TRUE(dir.files().empty()) << "nothing is written before the first save";
    bytes[5] = 77;
    img.Flush();
    const std::string name = page.GetName();
    // Saving again reuses the same file.
    access::fetch(img, 0, 1048000)[6] = 78;
    access::set_dirty(page);
    img.Flush();
    EXPECT_EQ(dir.files(), std::vector<std::string>{name});
    const std::string stored = tarvel_test::read_text(dir.path() + name);
    EXPECT_EQ(stored.size(), 1048000u);
    EXPECT_EQ(stored.substr(5, 2), "MN");
    img.Destroy();
    EXPECT_TRUE(dir.files().empty());
    // A persistent image keeps its files.
    ASSERT_TRUE(img.Create(3, 100, 100, 0));
    img.SetPersistent(true);
    access::fetch(img, 2, 0);
    img.Flush();
    img.Destroy();
    EXPECT_EQ(dir.files().size(), 1u);
}

TEST_F(PageFileTest, TheFourMessagesNameTheFailingPath) {
    ASSERT_TRUE(img.Create(1, 1000, 3000, 0));
    const int size = img.GetPageSize();
    for (int k = 0; k < 2; ++k) access::fetch(img, 0, k * size)[0] = 2;
    img.Flush();
    image::scan_page& missing = access::page(img, 0, 0);
    image::scan_page& shortFile = access::page(img, 0, 1);
    ASSERT_EQ(unlink(pathOf(missing).c_str()), 0);
    ASSERT_EQ(truncate(pathOf(shortFile).c_str(), 10), 0);

    // Loading: an unopenable file gives zeros, a short one its bytes and then zeros.
    std::string out = captured_stdout([&] { EXPECT_EQ(access::fetch(img, 0, 0)[0], 0); });
    EXPECT_EQ(out, "\nError opening file " + pathOf(missing));
    out = captured_stdout([&] {
        unsigned char* p = access::fetch(img, 0, size);
        EXPECT_EQ(p[0] * 1000 + p[10] + p[size - 1], 2000);
    });
    EXPECT_EQ(out, "\nError reading file " + pathOf(shortFile));

    // Saving to a file deleted from outside: the page stays dirty.
    access::set_dirty(missing);
    out = captured_stdout([&] { EXPECT_FALSE(access::save(missing)); });
    EXPECT_EQ(out, "Error opening file " + pathOf(missing) + "\n");
    EXPECT_TRUE(missing.IsDirty());

    // A full disk, as a file-size limit gives it to an unprivileged process:
    // the page file takes what fits and the write fails.
    access::set_dirty(shortFile);
    EXPECT_EQ(tarvel_test::run_in_child([&] {
                  signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{1000, 1000};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  bool saved = true;
                  const std::string said =
                      captured_stdout([&] { saved = access::save(shortFile); });
                  return !saved && said == "Error writing file " + pathOf(shortFile) + "\n" ? 0 : 1;
              }),
              0);
}

TEST_F(PageFileTest, MissingTemporaryDirectoryLosesTheSaveButNeverCrashes) {
    img.SetTempPath((dir.path() + "does-not-exist").c_str());
    ASSERT_TRUE(img.Create(1, 1000, 3000, 0));
    access::fetch(img, 0, 0)[0] = 5;
    const std::string out = captured_stdout([&] { img.Flush(); });
    EXPECT_EQ(out.rfind("Error opening file " + dir.path() + "does-not-exist/~gm", 0), 0u) << out;
    EXPECT_STREQ(access::page(img, 0, 0).GetName(), "") << "no file was created";
    // The page comes back as zeros (it never reached a file) and the image stays usable.
    EXPECT_EQ(image::ipointer(&img, 0, 0)[0] + image::ipointer(&img, 0, 2999999)[0], 0);
}

// A grey 4096-wide image: pages of 256 lines (1 MiB), cache of 16 pages.
constexpr int kWidth = 4096;
constexpr int kPageSize = kWidth * 256;

class CacheTest : public tarvel_test::scratch_image {
  protected:
    void SetUp() override {
        ASSERT_TRUE(img.Create(1, kWidth, 24 * 256, 0));
        ASSERT_EQ(img.GetCacheLimit(), 16);
    }
    unsigned char* fetchPage(int k) { return access::fetch(img, 0, k * kPageSize); }
    image::scan_page& page(int k) { return access::page(img, 0, k); }
};

TEST_F(CacheTest, EvictsLeastRecentlyUsedAndReusesItsBuffer) {
    for (int k = 0; k < 16; ++k) fetchPage(k);
    fetchPage(0);  // page 0 becomes the newest; page 1 is now the oldest
    unsigned char* oldBuffer = access::data(page(1));
    EXPECT_EQ(fetchPage(16), oldBuffer) << "the evicted page's buffer goes to the new page";
    // Each fetch evicts the page used longest ago: 1, then 2, 3, 4, ...
    for (int k = 17; k < 21; ++k) {
        EXPECT_FALSE(page(k - 16).IsInMemory()) << k;
        EXPECT_TRUE(page(k - 15).IsInMemory()) << k;
        fetchPage(k);
    }
    EXPECT_TRUE(page(0).IsInMemory());
    EXPECT_EQ(img.GetInMemoryCount(), 16);
}

TEST_F(CacheTest, PinnedPagesSurviveEvictionAndFlush) {
    fetchPage(0);
    access::lock_read(page(0));
    unsigned char* writerBytes = fetchPage(1);
    access::lock(page(1));
    writerBytes[10] = 99;
    for (int k = 2; k < 24; ++k) fetchPage(k);  // cycles the whole cache past both
    EXPECT_TRUE(page(0).IsInMemory());
    EXPECT_EQ(access::data(page(1)), writerBytes);
    img.Flush();
    EXPECT_EQ(img.GetInMemoryCount(), 2);
    EXPECT_TRUE(page(0).IsInMemory() && page(1).IsInMemory());
    EXPECT_TRUE(page(1).IsDirty()) << "saved while a writer holds it: still dirty";
    // Once released, the writer's change is saved by the next flush and read back.
    access::unlock(page(1));
    access::unlock_read(page(0));
    img.Flush();
    EXPECT_EQ(img.GetInMemoryCount(), 0);
    EXPECT_EQ(fetchPage(1)[10], 99);
}

// A budget lets the cache hold more pages (whole pages, at most the image);
// lowering it evicts at once; Freeze records the default limit, and a new
// Create has the default again.
TEST_F(CacheTest, ABudgetRaisesTheCacheUntilLoweredOrRecreated) {
    const long long standard = 16LL * kPageSize;
    EXPECT_EQ(img.GetCacheBudget(), standard);
    img.SetCacheBudget(20 * kPageSize + kPageSize / 2);
    EXPECT_EQ(img.GetCacheBudget(), 20LL * kPageSize);
    for (int k = 0; k < 24; ++k) fetchPage(k);
    EXPECT_EQ(img.GetInMemoryCount(), 20);
    EXPECT_TRUE(page(4).IsInMemory() && !page(3).IsInMemory());

    img.SetCacheBudget(1LL << 40);  // more than the image: all of its pages
    EXPECT_EQ(img.GetCacheBudget(), static_cast<long long>(img.GetPageCount()) * kPageSize);
    img.SetCacheBudget(10 * kPageSize);  // below the default: the default
    EXPECT_EQ(img.GetCacheBudget(), standard);
    EXPECT_LT(img.GetInMemoryCount(), 16);
    EXPECT_TRUE(page(23).IsInMemory() && !page(8).IsInMemory());

    img.SetCacheBudget(20 * kPageSize);
    ASSERT_TRUE(img.Freeze("dir.ini", "image", false));
    EXPECT_EQ(GetPrivateProfileIntA("image", "CacheLimit", 0, dir.file_path("dir.ini").c_str()),
              16u);
    ASSERT_TRUE(img.Create(1, kWidth, 24 * 256, 0));
    EXPECT_EQ(img.GetCacheBudget(), standard);
}

}  // namespace
