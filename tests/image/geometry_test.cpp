// Kinds and page geometry computed by Create, and what Create refuses.
#include <gtest/gtest.h>

#include "image/image.h"

namespace {

struct geometry {
    int type, width, height, mode;
    int channels, pageLen, pageSize, pageCount, cacheLimit;
};

// Expected values worked out by hand from the page rules: about one mebibyte of
// whole lines per page, about sixteen mebibytes of pages in the cache.
TEST(ImageGeometry, PagesAndCacheFollowTheMebibyteRules) {
    const geometry cases[] = {
        {3, 1000, 5000, 0, 3, 1048, 1048000, 5, 15}, {1, 1000, 5000, 0, 1, 1048, 1048000, 5, 16},
        {1, 640, 480, 0, 1, 480, 307200, 1, 54},     {1, 600000, 3, 0, 1, 1, 600000, 3, 27},
        {1, 524288, 4, 0, 1, 2, 1048576, 2, 16},     {1, 524288, 1, 0, 1, 1, 524288, 1, 32},
        {1, 524289, 4, 0, 1, 1, 524289, 4, 31},      {3, 524289, 2, 3, 4, 1, 524289, 2, 28},
        {2, 1, 1, 9, 1, 1, 1, 1, 16777216},          {3, 7, 3, 0, 3, 3, 21, 1, 798915},
    };
    for (const geometry& g : cases) {
        SCOPED_TRACE(testing::Message() << g.width << " x " << g.height << " type " << g.type);
        tarvel::image img;
        ASSERT_TRUE(img.Create(g.type, g.width, g.height, g.mode));
        EXPECT_EQ(img.GetChannelCount(), g.channels);
        EXPECT_EQ(img.GetPageLen(), g.pageLen);
        EXPECT_EQ(img.GetPageSize(), g.pageSize);
        EXPECT_EQ(img.GetPageCount(), g.pageCount);
        EXPECT_EQ(img.GetCacheLimit(), g.cacheLimit);
        EXPECT_EQ(img.GetCacheLimit() % g.channels, 0);
        EXPECT_EQ(img.GetInMemoryCount(), 0);
    }
}

TEST(ImageGeometry, KindsFromTypeAndMode) {
    struct kind {
        int type, mode, gotMode, channels;
        bool palette;
    };
    const kind kinds[] = {{3, 0, 2, 3, false},
                          {3, 3, 3, 4, false},
                          {3, 7, 2, 3, false},
                          {1, 5, 0, 1, false},
                          {2, 0, 1, 1, true}};
    for (const kind& k : kinds) {
        tarvel::image img(k.type, 10, 10, k.mode);
        ASSERT_TRUE(img.IsValid());
        EXPECT_EQ(img.GetMode(), k.gotMode);
        EXPECT_EQ(img.GetChannelCount(), k.channels);
        EXPECT_EQ(img.GetPalette() != nullptr, k.palette);
    }
}

TEST(ImageGeometry, NonsenseSizesAndTypesLeaveTheImageEmpty) {
    const int bad[][3] = {{4, 10, 10},        {0, 10, 10},      {-1, 10, 10}, {1, 0, 10},
                          {1, 10, 0},         {1, -5, 10},      {1, 10, -5},  {3, 65536, 32768},
                          {1, 2147483647, 2}, {1, 46341, 46341}};
    for (const auto& b : bad) {
        SCOPED_TRACE(testing::Message() << b[0] << " " << b[1] << " x " << b[2]);
        tarvel::image img(1, 10, 10, 0);
        ASSERT_TRUE(img.IsValid());
        EXPECT_FALSE(img.Create(b[0], b[1], b[2], 0));
        EXPECT_FALSE(img.IsValid());
        EXPECT_EQ(img.GetType(), 0);
        EXPECT_EQ(img.GetWidth(), 0);
        EXPECT_EQ(img.GetPalette(), nullptr);
    }
    // The largest plane that still fits a signed 32-bit offset is accepted.
    tarvel::image big;
    EXPECT_TRUE(big.Create(1, 2147483647, 1, 0));
}

TEST(ImageGeometry, CopyConstructionTakesKindAndPaletteNotSamples) {
    tarvel::image src(2, 30, 20, 0);
    for (int i = 0; i < 768; ++i) src.GetPalette()[i] = static_cast<unsigned char>(i * 7);
    tarvel::image copy(src);
    EXPECT_EQ(copy.GetType(), 2);
    EXPECT_EQ(copy.GetWidth(), 30);
    EXPECT_EQ(copy.GetHeight(), 20);
    for (int i = 0; i < 768; ++i) ASSERT_EQ(copy.GetPalette()[i], src.GetPalette()[i]);
    tarvel::image resized(src, 5, -1);
    EXPECT_EQ(resized.GetWidth(), 5);
    EXPECT_EQ(resized.GetHeight(), 20);
    unsigned char row[30];
    copy.GetRegion(0, 0, 29, 0, 0, row);
    for (unsigned char v : row) EXPECT_EQ(v, 0);
}

TEST(ImageGeometry, TempPathAlwaysEndsWithASlash) {
    tarvel::image img;
    const std::string system = img.GetTempPath();
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(system.back(), '/');
    img.SetTempPath("/data/maps");
    EXPECT_STREQ(img.GetTempPath(), "/data/maps/");
    const std::string longDir(300, 'd');
    img.SetTempPath(longDir.c_str());
    EXPECT_EQ(std::string(img.GetTempPath()), std::string(258, 'd') + "/");
    // The directory survives Destroy and Create.
    img.Create(1, 4, 4, 0);
    img.Destroy();
    EXPECT_EQ(std::string(img.GetTempPath()), std::string(258, 'd') + "/");
}

}  // namespace
