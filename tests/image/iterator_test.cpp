// pointer and ipointer: page crossing in both directions, jumps, pins and clamping.
#include <gtest/gtest.h>

#include "test_access.h"

namespace {

using tarvel::image;
using tarvel_test::sample;

// One line per page: Width above 524288 gives PageLen 1, so page k is line k.
constexpr int kWidth = 600000;
constexpr int kLines = 40;  // more pages than the 27 the cache holds
constexpr int kLast = kWidth * kLines - 1;

class IteratorTest : public tarvel_test::scratch_image {
  protected:
    void SetUp() override {
        ASSERT_TRUE(img.Create(3, kWidth, kLines, 0));
        ASSERT_EQ(img.GetPageSize(), kWidth);
    }
    int pins(int k) { return tarvel::image_test_access::page(img, 0, k).GetLockCount(); }
};

// A pin left behind at a crossing would keep the cache from evicting.
TEST_F(IteratorTest, WholePlanesWrittenForwardsReadBackwardsThroughTheCache) {
    tarvel_test::fill(img);
    for (int c = 2; c >= 0; --c) {
        EXPECT_LE(img.GetInMemoryCount(), img.GetCacheLimit());
        image::ipointer p(&img, c, kLast);
        int wrong = 0;
        for (int i = kLast; i >= 0; --i, --p) wrong += *p != sample(c, i);
        EXPECT_EQ(wrong, 0) << "channel " << c;
    }
}

TEST_F(IteratorTest, JumpsLandInTheRightPageAndMoveTheirPins) {
    image::pointer q(&img, 0, 0);
    q += 3 * kWidth;
    q -= kWidth + 1;                    // last byte of page 1
    image::pointer r = q + 2 * kWidth;  // page 3
    image::pointer t(r, -10);           // the copy-and-move constructor
    EXPECT_EQ(std::vector<int>({q.GetOffset(), r.GetOffset(), t.GetOffset()}),
              std::vector<int>({2 * kWidth - 1, 4 * kWidth - 1, 4 * kWidth - 11}));
    q = t;  // assignment moves q's pin from page 1 to page 3
    EXPECT_EQ(std::vector<int>({pins(0), pins(1), pins(2), pins(3)}),
              std::vector<int>({0, 0, 0, 3}));
}

TEST_F(IteratorTest, PositionsAndChannelsOutsideThePlaneAreClamped) {
    image::ipointer p(&img, 1, 0);
    --p;
    EXPECT_EQ(p.GetOffset(), 0);
    p -= 5 * kWidth;
    EXPECT_EQ(p.GetOffset(), 0);
    p = kLast;
    ++p;
    EXPECT_EQ(p.GetOffset(), kLast);
    p += 2000000000;
    EXPECT_EQ(p.GetOffset(), kLast);
    EXPECT_EQ(image::ipointer(&img, 1, kWidth - 1, kLines + 3).GetOffset(), kLast);
    // Channels outside the image are clamped too.
    image::pointer(&img, 2, 5)[0] = 7;
    image::pointer(&img, 0, 5)[0] = 8;
    EXPECT_EQ(image::ipointer(&img, 9, 5)[0] * 10 + image::ipointer(&img, -1, 5)[0], 78);
}

}  // namespace
