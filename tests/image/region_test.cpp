// Region reads against samples written independently through iterators.
#include <gtest/gtest.h>

#include <vector>

#include "test_access.h"

namespace {

using tarvel::image;
using tarvel_test::sample;

class RegionRead : public tarvel_test::scratch_image {};

TEST_F(RegionRead, GreyAndPackedColourRectanglesAcrossPagesMatchTheSamples) {
    ASSERT_TRUE(img.Create(1, 3000, 2000, 0));
    ASSERT_EQ(img.GetPageLen(), 349);  // six pages
    tarvel_test::fill(img);
    const int cases[][4] = {
        {0, 0, 0, 0},         {2999, 1999, 2999, 1999},
        {10, 300, 2000, 720},  // spans pages 0, 1 and 2
        {0, 348, 2999, 349},   // last line of page 0 and first of page 1
        {100, 400, 140, 500},  // starts in the middle of a page
        {0, 0, 2999, 1999},
    };
    for (const auto& r : cases) {
        SCOPED_TRACE(testing::Message() << r[0] << "," << r[1] << " - " << r[2] << "," << r[3]);
        const int w = r[2] - r[0] + 1, h = r[3] - r[1] + 1;
        std::vector<unsigned char> out(static_cast<size_t>(w) * h + 1, 0xEE);
        img.GetRegion(r[0], r[1], r[2], r[3], 0, out.data());
        int wrong = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                wrong += out[y * w + x] != sample(0, (r[1] + y) * 3000 + r[0] + x);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(out.back(), 0xEE) << "wrote past the rectangle";
    }

    // Packed colour leaves out the fourth channel; a palette image gives its indices.
    image rgba;
    rgba.SetTempPath(dir.bare().c_str());
    ASSERT_TRUE(rgba.Create(3, 1500, 1400, 3));  // four channels, pages of 699 lines
    tarvel_test::fill(rgba);
    const int x0 = 7, y0 = 690, w = 1493, h = 21;  // crosses a page boundary in all channels
    std::vector<int> out(static_cast<size_t>(w) * h);
    rgba.GetRegionRGB(x0, y0, x0 + w - 1, y0 + h - 1, out.data());
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int i = (y0 + y) * 1500 + x0 + x;
            wrong += out[y * w + x] != (sample(0, i) | sample(1, i) << 8 | sample(2, i) << 16);
        }
    }
    EXPECT_EQ(wrong, 0);

    image palette(2, 300, 200, 0);
    tarvel_test::fill(palette);
    int packed[3];
    palette.GetRegionRGB(10, 20, 12, 20, packed);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(packed[i], sample(0, 20 * 300 + 10 + i));
}

}  // namespace
