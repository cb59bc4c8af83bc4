// The page cache: fetch clamping, least-recently-used eviction, buffer reuse, pins and Flush.
#include <gtest/gtest.h>

#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;

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

}  // namespace
