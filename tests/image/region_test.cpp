// Region reads against samples written independently through iterators.
#include <gtest/gtest.h>

#include <vector>

#include "test_access.h"

namespace {

using tarvel::image;

unsigned char sample(int c, int x, int y) {
    return static_cast<unsigned char>(x * 3 + y * 5 + c * 40 + (x * y) / 17);
}

void fill(image& img) {
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        image::pointer p(&img, c, 0);
        for (int y = 0; y < img.GetHeight(); ++y) {
            for (int x = 0; x < img.GetWidth(); ++x, ++p) *p = sample(c, x, y);
        }
    }
}

struct rect {
    int x0, y0, x1, y1;
};

TEST(RegionRead, RectanglesAcrossPagesMatchTheSamples) {
    tarvel_test::scratch_dir dir;
    image img;
    img.SetTempPath(dir.bare().c_str());
    ASSERT_TRUE(img.Create(1, 3000, 2000, 0));  // PageLen 349: six pages, lines 349k...
    ASSERT_EQ(img.GetPageLen(), 349);
    fill(img);
    const rect cases[] = {
        {0, 0, 0, 0},  // one pixel
        {2999, 1999, 2999, 1999},
        {10, 300, 2000, 720},  // spans pages 0, 1 and 2
        {5, 349, 9, 349},      // first line of page 1
        {0, 348, 2999, 349},   // last line of page 0 and first of page 1
        {100, 400, 140, 500},  // starts in the middle of a page
        {0, 0, 2999, 1999},    // everything
    };
    for (const rect& r : cases) {
        SCOPED_TRACE(testing::Message() << r.x0 << "," << r.y0 << " - " << r.x1 << "," << r.y1);
        const int w = r.x1 - r.x0 + 1, h = r.y1 - r.y0 + 1;
        std::vector<unsigned char> out(static_cast<size_t>(w) * h + 1, 0xEE);
        img.GetRegion(r.x0, r.y0, r.x1, r.y1, 0, out.data());
        int wrong = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) wrong += out[y * w + x] != sample(0, r.x0 + x, r.y0 + y);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(out.back(), 0xEE) << "wrote past the rectangle";
    }
    unsigned char untouched = 0xEE;
    img.GetRegion(0, 10, 5, 9, 0, &untouched);  // y1 < y0
    EXPECT_EQ(untouched, 0xEE);
}

TEST(RegionRead, PackedColourIgnoresTheFourthChannelAndPaletteIsIndices) {
    tarvel_test::scratch_dir dir;
    image rgba;
    rgba.SetTempPath(dir.bare().c_str());
    ASSERT_TRUE(rgba.Create(3, 1500, 1400, 3));  // four channels, pages of 699 lines
    fill(rgba);
    const rect r{7, 690, 1499, 710};  // crosses a page boundary in all channels
    const int w = r.x1 - r.x0 + 1, h = r.y1 - r.y0 + 1;
    std::vector<int> out(static_cast<size_t>(w) * h);
    rgba.GetRegionRGB(r.x0, r.y0, r.x1, r.y1, out.data());
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int X = r.x0 + x, Y = r.y0 + y;
            const int expected = sample(0, X, Y) | sample(1, X, Y) << 8 | sample(2, X, Y) << 16;
            wrong += out[y * w + x] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(sample(3, r.x0, r.y0) != 0, true) << "channel 3 holds data that must not show";

    image palette(2, 300, 200, 0);
    fill(palette);
    int packed[3];
    palette.GetRegionRGB(10, 20, 12, 20, packed);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(packed[i], sample(0, 10 + i, 20));
}

TEST(RegionRead, ImagesLargerThanTheCacheReadConsistently) {
    tarvel_test::scratch_dir dir;
    image img;
    img.SetTempPath(dir.bare().c_str());
    ASSERT_TRUE(img.Create(3, 600000, 12, 0));  // 36 pages of one line, cache of 27
    fill(img);
    std::vector<int> column(12);
    img.GetRegionRGB(599999, 0, 599999, 11, column.data());
    for (int y = 0; y < 12; ++y) {
        EXPECT_EQ(column[y],
                  sample(0, 599999, y) | sample(1, 599999, y) << 8 | sample(2, 599999, y) << 16);
    }
    EXPECT_LE(img.GetInMemoryCount(), img.GetCacheLimit());
}

}  // namespace
