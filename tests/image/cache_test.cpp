// The page cache: fetch clamping, least-recently-used eviction, buffer reuse, pins and Flush.
#include <gtest/gtest.h>

#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;

// A grey 4096-wide image: pages of 256 lines (1 MiB), cache of 16 pages.
constexpr int kWidth = 4096;
constexpr int kPageLen = 256;
constexpr int kPageSize = kWidth * kPageLen;

class CacheTest : public testing::Test {
  protected:
    void SetUp() override {
        img.SetTempPath(dir.bare().c_str());
        ASSERT_TRUE(img.Create(1, kWidth, 24 * kPageLen, 0));
        ASSERT_EQ(img.GetCacheLimit(), 16);
        ASSERT_EQ(img.GetPageSize(), kPageSize);
    }
    unsigned char* fetchPage(int k) { return access::fetch(img, 0, k * kPageSize); }
    bool inMemory(int k) { return access::page(img, 0, k).IsInMemory(); }

    tarvel_test::scratch_dir dir;
    image img;
};

TEST_F(CacheTest, FetchClampsChannelAndOffsetIntoThePlane) {
    image::scan_page* record = nullptr;
    unsigned char* p = access::fetch(img, 0, -5, &record);
    EXPECT_EQ(record, &access::page(img, 0, 0));
    EXPECT_EQ(p, access::data(*record));
    const int plane = kWidth * img.GetHeight();
    p = access::fetch(img, 7, plane + 100, &record);  // channel 7 of a 1-channel image
    EXPECT_EQ(record, &access::page(img, 0, 23));
    EXPECT_EQ(p, access::data(*record) + (plane - 1) % kPageSize);

    image rgb(3, 100, 100, 3);
    access::fetch(rgb, 9, 0, &record);
    EXPECT_EQ(record->GetChannelIndex(), 3);
    access::fetch(rgb, -1, 0, &record);
    EXPECT_EQ(record->GetChannelIndex(), 0);
}

TEST_F(CacheTest, EvictsLeastRecentlyUsedAndReusesItsBuffer) {
    for (int k = 0; k < 16; ++k) fetchPage(k);
    EXPECT_EQ(img.GetInMemoryCount(), 16);
    fetchPage(0);  // page 0 becomes the newest; page 1 is now the oldest
    EXPECT_EQ(access::newest(img), &access::page(img, 0, 0));
    EXPECT_EQ(access::oldest(img), &access::page(img, 0, 1));

    unsigned char* oldBuffer = access::data(access::page(img, 0, 1));
    unsigned char* fresh = fetchPage(16);
    EXPECT_FALSE(inMemory(1));
    EXPECT_TRUE(inMemory(0));
    EXPECT_EQ(fresh, oldBuffer) << "the evicted page's buffer is handed to the new page";
    EXPECT_EQ(img.GetInMemoryCount(), 16);

    // Further fetches evict in last-use order: 2, 3, 4, ...
    for (int k = 17; k < 20; ++k) {
        fetchPage(k);
        EXPECT_FALSE(inMemory(k - 15));
        EXPECT_TRUE(inMemory(k - 14));
    }
    // The list from newest to oldest is strictly the order of last use.
    const image::scan_page* page = access::newest(img);
    int count = 0;
    for (; page != nullptr; page = access::older(*page)) ++count;
    EXPECT_EQ(count, 16);
}

TEST_F(CacheTest, PinnedPagesSurviveEvictionAndFlush) {
    image::scan_page& reader = access::page(img, 0, 0);
    image::scan_page& writer = access::page(img, 0, 1);
    fetchPage(0);
    access::lock_read(reader);
    fetchPage(1);
    access::lock(writer);
    unsigned char* writerBytes = access::data(writer);
    writerBytes[10] = 99;

    for (int k = 2; k < 24; ++k) fetchPage(k);  // cycles the whole cache past both
    EXPECT_TRUE(reader.IsInMemory());
    EXPECT_TRUE(writer.IsInMemory());
    EXPECT_EQ(access::data(writer), writerBytes);
    EXPECT_EQ(img.GetInMemoryCount(), 16);

    img.Flush();
    EXPECT_EQ(img.GetInMemoryCount(), 2);
    EXPECT_TRUE(reader.IsInMemory());
    EXPECT_TRUE(writer.IsInMemory());
    for (int k = 2; k < 24; ++k) EXPECT_FALSE(inMemory(k)) << k;

    // Once released, the writer's change is saved by the next flush and read back.
    access::unlock(writer);
    access::unlock_read(reader);
    img.Flush();
    EXPECT_EQ(img.GetInMemoryCount(), 0);
    EXPECT_EQ(fetchPage(1)[10], 99);
}

TEST_F(CacheTest, WithEveryPagePinnedTheCacheGrowsBeyondItsLimit) {
    for (int k = 0; k < 16; ++k) {
        fetchPage(k);
        access::lock_read(access::page(img, 0, k));
    }
    fetchPage(16);
    EXPECT_EQ(img.GetInMemoryCount(), 17);
    for (int k = 0; k < 17; ++k) EXPECT_TRUE(inMemory(k));
    for (int k = 0; k < 16; ++k) access::unlock_read(access::page(img, 0, k));
    fetchPage(17);  // one fetch evicts down below the limit again
    EXPECT_EQ(img.GetInMemoryCount(), 16);
}

TEST_F(CacheTest, ForceFlushRereadsPinnedPagesFromTheirFiles) {
    unsigned char* bytes = fetchPage(3);
    bytes[0] = 42;
    access::set_dirty(access::page(img, 0, 3));
    img.Flush();  // written to its file
    bytes = fetchPage(3);
    access::lock_read(access::page(img, 0, 3));
    bytes[0] = 7;  // changed in memory only
    img.ForceFlush();
    EXPECT_EQ(bytes[0], 42);
    EXPECT_EQ(img.GetInMemoryCount(), 1);
    access::unlock_read(access::page(img, 0, 3));
}

}  // namespace
