// pointer and ipointer: page crossing in both directions, pins, clamping and indexing.
#include <gtest/gtest.h>

#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;

// One line per page: Width above 524288 gives PageLen 1, so page k is line k.
constexpr int kWidth = 600000;
constexpr int kLines = 40;  // more pages than the 27 the cache holds

unsigned char sample(int channel, int offset) {
    return static_cast<unsigned char>(offset * 7 + offset / 997 + channel * 50);
}

class IteratorTest : public testing::Test {
  protected:
    void SetUp() override {
        img.SetTempPath(dir.bare().c_str());
        ASSERT_TRUE(img.Create(3, kWidth, kLines, 0));
        ASSERT_EQ(img.GetPageSize(), kWidth);
        ASSERT_LT(img.GetCacheLimit(), 3 * kLines);
    }
    image::scan_page& page(int k, int c = 0) { return access::page(img, c, k); }

    tarvel_test::scratch_dir dir;
    image img;
};

TEST_F(IteratorTest, WholePlanesWrittenAndReadBackThroughTheCache) {
    const int plane = kWidth * kLines;
    for (int c = 0; c < 3; ++c) {
        image::pointer p(&img, c, 0);
        for (int i = 0; i < plane; ++i, ++p) *p = sample(c, i);
    }
    EXPECT_LE(img.GetInMemoryCount(), img.GetCacheLimit());
    for (int c = 2; c >= 0; --c) {
        image::ipointer p(&img, c, plane - 1);  // backwards this time
        int wrong = 0;
        for (int i = plane - 1; i >= 0; --i, --p) wrong += *p != sample(c, i);
        EXPECT_EQ(wrong, 0) << "channel " << c;
    }
}

TEST_F(IteratorTest, CrossingAPageMovesThePinWithIt) {
    image::pointer p(&img, 0, kWidth - 1);  // last byte of page 0
    EXPECT_EQ(page(0).GetLockCount(), 1);
    EXPECT_EQ(page(0).GetWriteLockCount(), 1);
    EXPECT_EQ(p.GetEnd() - p.GetBeg() + 1, kWidth);
    ++p;
    EXPECT_EQ(p.GetOffset(), kWidth);
    EXPECT_EQ(p.GetPtr(), p.GetBeg());
    EXPECT_EQ(page(0).GetLockCount(), 0);
    EXPECT_EQ(page(1).GetLockCount(), 1);
    --p;
    EXPECT_EQ(p.GetOffset(), kWidth - 1);
    EXPECT_EQ(p.GetPtr(), p.GetEnd());
    EXPECT_EQ(page(1).GetLockCount(), 0);
    EXPECT_EQ(page(0).GetLockCount(), 1);

    // Jumps of several pages land in the right page in one step.
    image::pointer q(&img, 0, 0);
    q += 2 * kWidth;
    EXPECT_EQ(q.GetOffset(), 2 * kWidth);
    q -= kWidth + 1;
    EXPECT_EQ(q.GetOffset(), kWidth - 1);
    image::pointer r = q + 3 * kWidth;
    EXPECT_EQ(r.GetOffset(), 4 * kWidth - 1);
    image::pointer s = r - (-5);  // operator- takes either sign
    EXPECT_EQ(s.GetOffset(), 4 * kWidth + 4);
    image::pointer t(r, -10);
    EXPECT_EQ(t.GetOffset(), 4 * kWidth - 11);
    EXPECT_EQ(page(3).GetLockCount(), 2);  // r and t
}

TEST_F(IteratorTest, PositionsOutsideThePlaneAreClamped) {
    const int last = kWidth * kLines - 1;
    image::ipointer p(&img, 1, 0);
    --p;
    EXPECT_EQ(p.GetOffset(), 0);
    p -= 5 * kWidth;
    EXPECT_EQ(p.GetOffset(), 0);
    p = last;
    ++p;
    EXPECT_EQ(p.GetOffset(), last);
    p += 2000000000;
    EXPECT_EQ(p.GetOffset(), last);
    image::ipointer q(&img, 1, -7);
    EXPECT_EQ(q.GetOffset(), 0);
    image::ipointer r(&img, 1, kWidth - 1, kLines + 3);
    EXPECT_EQ(r.GetOffset(), last);
}

TEST_F(IteratorTest, WritersDirtyPagesReadersDoNot) {
    img.Flush();
    {
        image::ipointer reader(&img, 0, 5, 7);
        image::ipointer same(&img, 0, 7 * kWidth + 5);
        EXPECT_EQ(reader.GetPtr(), same.GetPtr());
        EXPECT_EQ(page(7).GetLockCount(), 2);
        EXPECT_EQ(page(7).GetWriteLockCount(), 0);
        img.Flush();
        EXPECT_TRUE(page(7).IsInMemory()) << "pinned by two readers";
    }
    img.Flush();  // first fetch made it dirty (no file yet); now saved and clean
    {
        image::ipointer reader(&img, 0, 7 * kWidth);
        EXPECT_FALSE(page(7).IsDirty());
    }
    {
        image::pointer writer(&img, 0, 7 * kWidth);
        EXPECT_TRUE(page(7).IsDirty());
        image::pointer copy(writer);
        EXPECT_EQ(page(7).GetWriteLockCount(), 2);
        image::pointer elsewhere(&img, 0, 9 * kWidth);
        copy = elsewhere;  // assignment moves copy's pin to page 9
        EXPECT_EQ(page(7).GetLockCount(), 1);
        EXPECT_EQ(page(9).GetLockCount(), 2);
    }
    EXPECT_EQ(page(7).GetLockCount(), 0);
    EXPECT_EQ(page(9).GetLockCount(), 0);
}

TEST_F(IteratorTest, IndexingAnotherPageNeitherMovesNorPins) {
    {
        image::pointer w(&img, 2, 0);
        for (int i = 0; i < 3 * kWidth; ++i, ++w) *w = sample(2, i);
    }
    image::ipointer p(&img, 2, 10);
    EXPECT_EQ(p[kWidth], sample(2, kWidth + 10));
    EXPECT_EQ(p[-10], sample(2, 0));
    EXPECT_EQ(p.GetOffset(), 10);
    EXPECT_EQ(page(1, 2).GetLockCount(), 0);
    image::pointer q(&img, 2, 2 * kWidth + 3);
    EXPECT_EQ(q[-kWidth], sample(2, kWidth + 3));
    q[-kWidth] = 1;  // unpinned reference: still writes into the page in memory
    EXPECT_EQ(p[kWidth - 7], 1);
}

}  // namespace
