// Samples through pointer and ipointer (page crossing in both directions, jumps, pins, clamping)
// and through region reads.
#include <gtest/gtest.h>

#include <vector>

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

class RegionRead : public tarvel_test::scratch_image {};

// Four channels of 1000 x 3000 in pages of 1048 lines: grey reads of the fourth channel, and
// packed colour reads, which leave that channel out.
TEST_F(RegionRead, GreyAndPackedColourRectanglesAcrossPagesMatchTheSamples) {
    ASSERT_TRUE(img.Create(3, 1000, 3000, 3));
    ASSERT_EQ(img.GetPageLen(), 1048);
    tarvel_test::fill(img);
    const int cases[][4] = {
        {0, 0, 0, 0},           {999, 2999, 999, 2999},
        {10, 300, 900, 2200},  // spans pages 0, 1 and 2
        {0, 1047, 999, 1048},  // last line of page 0 and first of page 1
        {100, 1100, 140, 1200}, {0, 0, 999, 2999},
    };
    for (const auto& r : cases) {
        SCOPED_TRACE(testing::Message() << r[0] << "," << r[1] << " - " << r[2] << "," << r[3]);
        const int w = r[2] - r[0] + 1, h = r[3] - r[1] + 1;
        std::vector<unsigned char> grey(static_cast<size_t>(w) * h + 1, 0xEE);
        std::vector<int> rgb(grey.size(), -1);
        img.GetRegion(r[0], r[1], r[2], r[3], 3, grey.data());
        img.GetRegionRGB(r[0], r[1], r[2], r[3], rgb.data());
        int wrong = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int i = (r[1] + y) * 1000 + r[0] + x, at = y * w + x;
                wrong += grey[at] != sample(3, i);
                wrong += rgb[at] != (sample(0, i) | sample(1, i) << 8 | sample(2, i) << 16);
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(grey.back() + rgb.back(), 0xEE - 1) << "wrote past the rectangle";
    }
}

}  // namespace
