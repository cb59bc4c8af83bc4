// Region reads against samples written independently through iterators.
#include <gtest/gtest.h>

#include <vector>

#include "test_access.h"

namespace {

using tarvel_test::sample;

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
