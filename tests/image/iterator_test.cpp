// pointer and ipointer: page crossing in both directions, pins, clamping and indexing.
#include <gtest/gtest.h>

#include "test_access.h"

namespace {

using tarvel::image;
using tarvel_test::sample;

// One line per page: Width above 524288 gives PageLen 1, so page k is line k.
constexpr int kWidth = 600000;
constexpr int kLines = 40;  // more pages than the 27 the cache holds

class IteratorTest : public tarvel_test::scratch_image {
  protected:
    void SetUp() override {
        ASSERT_TRUE(img.Create(3, kWidth, kLines, 0));
        ASSERT_EQ(img.GetPageSize(), kWidth);
    }
    int pins(int k) { return tarvel::image_test_access::page(img, 0, k).GetLockCount(); }
};

TEST_F(IteratorTest, WholePlanesWrittenForwardsReadBackwardsThroughTheCache) {
    tarvel_test::fill(img);
    EXPECT_LE(img.GetInMemoryCount(), img.GetCacheLimit());
    for (int c = 2; c >= 0; --c) {
        image::ipointer p(&img, c, kWidth * kLines - 1);
        int wrong = 0;
        for (int i = kWidth * kLines - 1; i >= 0; --i, --p) wrong += *p != sample(c, i);
        EXPECT_EQ(wrong, 0) << "channel " << c;
    }
}

TEST_F(IteratorTest, CrossingAPageMovesThePinWithIt) {
    image::pointer p(&img, 0, kWidth - 1);  // last byte of page 0
    EXPECT_EQ(pins(0), 1);
    ++p;
    EXPECT_EQ(p.GetOffset(), kWidth);
    EXPECT_EQ(p.GetPtr(), p.GetBeg());
    EXPECT_EQ(pins(0) * 10 + pins(1), 1);
    --p;
    EXPECT_EQ(p.GetOffset(), kWidth - 1);
    EXPECT_EQ(p.GetPtr(), p.GetEnd());
    EXPECT_EQ(pins(0) * 10 + pins(1), 10);

    // Jumps of several pages land in the right page in one step.
    image::pointer q(&img, 0, 0);
    q += 2 * kWidth;
    EXPECT_EQ(q.GetOffset(), 2 * kWidth);
    q -= kWidth + 1;
    EXPECT_EQ(q.GetOffset(), kWidth - 1);
    image::pointer r = q + 3 * kWidth;
    EXPECT_EQ(r.GetOffset(), 4 * kWidth - 1);
    image::pointer t(r, -10);  // the copy-and-move constructor
    EXPECT_EQ(t.GetOffset(), 4 * kWidth - 11);
    EXPECT_EQ(pins(3), 2);  // r and t
    q = t;                  // assignment moves q's pin from page 0 to page 3
    EXPECT_EQ(pins(0) * 10 + pins(3), 13);
}

TEST_F(IteratorTest, PositionsAndChannelsOutsideThePlaneAreClamped) {
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
    EXPECT_EQ(image::ipointer(&img, 1, -7).GetOffset(), 0);
    // Channels outside the image are clamped too.
    image::pointer(&img, 2, 5)[0] = 7;
    image::pointer(&img, 0, 5)[0] = 8;
    EXPECT_EQ(image::ipointer(&img, 9, 5)[0], 7);
    EXPECT_EQ(image::ipointer(&img, -1, 5)[0], 8);
    EXPECT_EQ(image::ipointer(&img, 1, kWidth - 1, kLines + 3).GetOffset(), last);
}

}  // namespace
