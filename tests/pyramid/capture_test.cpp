// Capture: which layer is read, the rectangle shifted into it, the stretch to
// the target size, palettes, and calls that must not read anything.
#include <gtest/gtest.h>

#include "pyramid/pyramid.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::image;
using tarvel::pyramid;

// Layers with unrelated contents, so that the output shows which layer was
// read. Sizes only need to hold what each case reads (PushBack does not check).
struct layered {
    pyramid p;
    std::vector<planes> content;
    explicit layered(const std::vector<std::pair<int, int>>& sizes, int type = 1) {
        for (size_t k = 0; k < sizes.size(); ++k) {
            content.push_back(random_planes(type, sizes[k].first, sizes[k].second, 100 + k));
            auto* layer = new image;
            fill_image(*layer, content.back());
            p.PushBack(layer);
        }
    }
};

planes capture(const pyramid& p, int width, int height, int x, int y, int w, int h) {
    image target;
    EXPECT_TRUE(p.Capture(target, width, height, x, y, w, h));
    return read_image(target);
}

TEST(PyramidCapture, LayerChoiceShiftAndStretch) {
    layered four({{1300, 1300}, {650, 650}, {325, 325}, {512, 400}});
    const std::vector<planes>& c = four.content;
    // Ratios 8 and 6: factor 8, layer 3, rectangle (0, 0, 500, 375), the
    // width kept and the height stretched.
    const planes wide = capture(four.p, 500, 500, 0, 0, 4000, 3000);
    EXPECT_EQ(wide, reference_bilinear(c[3], 0, 0, 500, 375, 500, 500));
    for (int x = 0; x < 500; ++x) EXPECT_EQ(wide.at(0, x, 0), c[3].at(0, x, 0));
    // Same size: layer 0, an exact copy of the rectangle at (1000, 1000).
    EXPECT_EQ(capture(four.p, 256, 256, 1000, 1000, 256, 256),
              reference_bilinear(c[0], 1000, 1000, 256, 256, 256, 256));
    // Factor 4: layer 2 at 200 x 200, a copy of its corner.
    EXPECT_EQ(capture(four.p, 200, 200, 0, 0, 800, 800),
              reference_bilinear(c[2], 0, 0, 200, 200, 200, 200));
    // Factor 3: layer 1, (0, 0, 150, 150) reduced bilinearly.
    EXPECT_EQ(capture(four.p, 100, 100, 0, 0, 300, 300),
              reference_bilinear(c[1], 0, 0, 150, 150, 100, 100));
    // Ratios below 2, enlargement included, read layer 0.
    EXPECT_EQ(capture(four.p, 100, 100, 0, 0, 150, 150),
              reference_bilinear(c[0], 0, 0, 150, 150, 100, 100));
    EXPECT_EQ(capture(four.p, 200, 120, 10, 20, 50, 30),
              reference_bilinear(c[0], 10, 20, 50, 30, 200, 120));
    // Odd coordinates are truncated by the shift: x = 7, y = 9 at layer 2 are 1, 2.
    EXPECT_EQ(capture(four.p, 200, 200, 7, 9, 800, 800),
              reference_bilinear(c[2], 1, 2, 200, 200, 200, 200));
    // A rectangle reaching past the layer reads its edge samples.
    EXPECT_EQ(capture(four.p, 400, 400, 1200, 1200, 400, 400),
              reference_bilinear(c[0], 1200, 1200, 400, 400, 400, 400));
}

TEST(PyramidCapture, FewLayersAndPalettes) {
    // Two layers: a factor of 16 still reads layer 1; the palette comes along.
    layered two({{64, 64}, {32, 32}}, 2);
    const planes got = capture(two.p, 2, 2, 0, 0, 32, 32);
    EXPECT_EQ(got.type, 2);
    EXPECT_EQ(got, reference_bilinear(two.content[1], 0, 0, 16, 16, 2, 2));
    EXPECT_EQ(got.palette, two.content[1].palette);
}

TEST(PyramidCapture, RefusedCalls) {
    layered one({{16, 16}});
    image target(1, 3, 3, 0);
    EXPECT_FALSE(one.p.Capture(target, 0, 10, 0, 0, 16, 16));
    EXPECT_FALSE(one.p.Capture(target, 10, -1, 0, 0, 16, 16));
    EXPECT_FALSE(one.p.Capture(*one.p.GetLayerAt(0), 8, 8, 0, 0, 16, 16));
    EXPECT_EQ(read_image(*one.p.GetLayerAt(0)), one.content[0]);
    // Degenerate and huge rectangles pick a layer without overflow and read inside.
    EXPECT_TRUE(one.p.Capture(target, 4, 4, 0, 0, 0, 0));
    EXPECT_TRUE(one.p.Capture(target, 1, 1, -2147483647 - 1, 5, 2147483647, 2147483647));
    EXPECT_TRUE(one.p.Capture(target, 3, 2, 5, 5, -40, 7));
    pyramid empty;
    EXPECT_FALSE(empty.Capture(target, 4, 4, 0, 0, 4, 4));
}

}  // namespace
}  // namespace tarvel_test
