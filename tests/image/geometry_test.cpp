// Kinds and page geometry computed by Create, and what Create refuses.
#include <gtest/gtest.h>

#include <tuple>

#include "image/image.h"

namespace {

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

}  // namespace
