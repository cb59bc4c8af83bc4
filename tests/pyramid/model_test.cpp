// Pyramid model: layer counts, layer choice, the work directory, forwarding
// operations and the states of an empty pyramid.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "pyramid/pyramid.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::pyramid;

TEST(PyramidModel, LayerCountsOfWorkedExamples) {
    // Halve while a side is above 240: w, h = w >> 1, h >> 1.
    EXPECT_EQ(pyramid::CountLayers(240, 240), 1);
    EXPECT_EQ(pyramid::CountLayers(241, 10), 2);   // 241 x 10, 120 x 5
    EXPECT_EQ(pyramid::CountLayers(480, 480), 2);  // 480, 240
    EXPECT_EQ(pyramid::CountLayers(481, 481), 2);  // 240 after one halving
    EXPECT_EQ(pyramid::CountLayers(482, 300), 3);  // 241 x 150, 120 x 75
    // 10000 x 8000: 5000 x 4000, 2500 x 2000, 1250 x 1000, 625 x 500,
    // 312 x 250, 156 x 125.
    EXPECT_EQ(pyramid::CountLayers(10000, 8000), 7);
    EXPECT_EQ(pyramid::CountLayers(1, 1), 1);
    EXPECT_EQ(pyramid::CountLayers(0, 5), 0);
    // Elongated: 1000 x 3 gives 500 x 1 and stops before a side of 0.
    EXPECT_EQ(pyramid::CountLayers(1000, 3), 2);
    EXPECT_EQ(pyramid::CountLayers(100000, 1), 1);
    // Sides just below 2^31 need at most 25 layers: the cap on opened counts.
    EXPECT_EQ(pyramid::CountLayers(2147483647, 1 << 20), 21);  // stops at a height of 1
    EXPECT_EQ(pyramid::CountLayers(2147483647, 1 << 30), tarvel::kPyramidMaxLayers);
}

TEST(PyramidModel, LayerForReduction) {
    pyramid p;
    EXPECT_EQ(p.GetLayerForReduction(16), 0);  // empty
    for (int k = 0; k < 3; ++k) p.PushBack(new tarvel::image(1, 64 >> k, 64 >> k, 0));
    const int want[] = {0, 0, 1, 1, 2, 2, 2, 2, 2};  // factors 0 .. 8 with three layers
    for (int f = 0; f <= 8; ++f) EXPECT_EQ(p.GetLayerForReduction(f), want[f]) << f;
    EXPECT_EQ(p.GetLayerForReduction(-7), 0);
    EXPECT_EQ(p.GetLayerForReduction(2147483647), 2);
    EXPECT_EQ(tarvel::LayerForReduction(7, 30), 2);
    EXPECT_EQ(tarvel::LayerForReduction(2147483647, 40), 30);
}

TEST(PyramidModel, WorkDirectoryIsSpelledAndCreated) {
    scratch_dir dir;
    pyramid p;
    p.SetWorkDirectory((dir.bare() + "\\maps/p1").c_str());
    EXPECT_EQ(p.GetWorkDirectory(), dir.path() + "maps/p1/");
    struct stat st {};
    EXPECT_EQ(stat((dir.path() + "maps/p1").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    p.SetWorkDirectory((dir.path() + "maps/p1/").c_str());
    EXPECT_EQ(p.GetWorkDirectory(), dir.path() + "maps/p1/");
    rmdir((dir.path() + "maps/p1").c_str());
    rmdir((dir.path() + "maps").c_str());
}

TEST(PyramidModel, EmptyPyramidAndForwarding) {
    pyramid p;
    double b = 12.0, c = 34.0;
    p.GetBrightnessContrast(b, c);
    EXPECT_EQ(b, 12.0);
    EXPECT_EQ(c, 34.0);
    EXPECT_TRUE(p.Destroy());
    EXPECT_TRUE(p.Delete());
    EXPECT_TRUE(p.Flush());
    tarvel::image target;
    EXPECT_FALSE(p.Capture(target, 10, 10, 0, 0, 10, 10));

    const planes big = random_planes(3, 8, 6, 1);
    auto* layer = new tarvel::image;
    fill_image(*layer, big);
    p.PushBack(layer);
    p.PushBack(new tarvel::image(3, 4, 3, 0));
    p.SetBrightnessContrast(30.0, 60.0);
    p.GetBrightnessContrast(b, c);
    EXPECT_EQ(b, 30.0);
    EXPECT_EQ(c, 60.0);
    double b1 = 0, c1 = 0;
    p.GetLayerAt(1)->GetBrightnessContrast(b1, c1);
    EXPECT_EQ(b1, 30.0);
    p.SetBrightnessContrast(50.0, 50.0);
    // Region reads of a layer: rows 1..2, columns 2..5, channel 1, and packed colour.
    unsigned char out[8];
    p.GetRegion(0, 2, 1, 5, 2, 1, out);
    for (int y = 1; y <= 2; ++y) {
        for (int x = 2; x <= 5; ++x) EXPECT_EQ(out[(y - 1) * 4 + x - 2], big.at(1, x, y));
    }
    int rgb[1];
    p.GetRegionRGB(0, 7, 5, 7, 5, rgb);
    EXPECT_EQ(rgb[0], big.at(0, 7, 5) | big.at(1, 7, 5) << 8 | big.at(2, 7, 5) << 16);
    EXPECT_TRUE(p.Delete());
    EXPECT_EQ(p.GetLayerCount(), 2);
    EXPECT_TRUE(p.Destroy());
    EXPECT_EQ(p.GetLayerCount(), 0);
    EXPECT_EQ(p.GetName(), "");
}

}  // namespace
}  // namespace tarvel_test
