// Pyramid model: layer counts of worked examples.
#include <gtest/gtest.h>

#include "pyramid/pyramid.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::pyramid;

TEST(PyramidModel, LayerCountsOfWorkedExamples) {
    // Halve while a side is above 240: w, h = w >> 1, h >> 1. The sizes of
    // the smaller examples are checked on built pyramids (PyramidBuild).
    EXPECT_EQ(pyramid::CountLayers(240, 240), 1);
    EXPECT_EQ(pyramid::CountLayers(241, 10), 2);   // 241 x 10, 120 x 5
    EXPECT_EQ(pyramid::CountLayers(480, 480), 2);  // 480, 240
    EXPECT_EQ(pyramid::CountLayers(482, 300), 3);  // 241 x 150, 120 x 75
    // 10000 x 8000: 5000 x 4000, 2500 x 2000, 1250 x 1000, 625 x 500,
    // 312 x 250, 156 x 125.
    EXPECT_EQ(pyramid::CountLayers(10000, 8000), 7);
    EXPECT_EQ(pyramid::CountLayers(0, 5), 0);
    EXPECT_EQ(pyramid::CountLayers(1000, 3), 2);  // 500 x 1, never a side of 0
    // Sides just below 2^31 need at most 25 layers: the cap on opened counts.
    EXPECT_EQ(pyramid::CountLayers(2147483647, 1 << 20), 21);  // stops at a height of 1
    EXPECT_EQ(pyramid::CountLayers(2147483647, 1 << 30), tarvel::kPyramidMaxLayers);
}

}  // namespace
}  // namespace tarvel_test
