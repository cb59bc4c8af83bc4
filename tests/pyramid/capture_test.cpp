// Capture: which layer is read, the rectangle shifted into it, the stretch to
// the target size, palettes, and calls that must not read anything.
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

// Layers with unrelated contents, so that the output shows which layer was
// read. Sizes only need to hold what each case reads (PushBack does not check).
struct layered {
    pyramid p;
    std::vector<planes> content;
    explicit layered(const std::vector<std::pair<int, int>>& sizes, int type = 1) {
        for (auto [width, height] : sizes) {
            content.push_back(random_planes(type, width, height, 100 + content.size()));
            p.PushBack(new image);
            fill_image(*p.GetLayerAt(p.GetLayerCount() - 1), content.back());
        }
    }
};

planes capture(const pyramid& p, int width, int height, int x, int y, int w, int h) {
    image target;
    EXPECT_TRUE(p.Capture(target, width, height, x, y, w, h));
    return read_image(target);
}

TEST(PyramidCapture, LayerChoiceShiftStretchAndPalettes) {
    layered four({{1300, 1300}, {650, 650}, {325, 325}, {512, 400}});
    // The call's target size and rectangle; the layer and its rectangle stretched.
    const int shots[][11] = {
        {500, 500, 0, 0, 4000, 3000, 3, 0, 0, 500, 375},            // ratios 8 and 6: factor 8
        {256, 256, 1000, 1000, 256, 256, 0, 1000, 1000, 256, 256},  // same size: a copy
        {200, 200, 0, 0, 800, 800, 2, 0, 0, 200, 200},              // factor 4: a copy
        {100, 100, 0, 0, 300, 300, 1, 0, 0, 150, 150},              // factor 3: layer 1 reduced
        {100, 100, 0, 0, 150, 150, 0, 0, 0, 150, 150},              // ratio below 2
        {200, 120, 10, 20, 50, 30, 0, 10, 20, 50, 30},              // enlargement
        {200, 200, 7, 9, 800, 800, 2, 1, 2, 200, 200},              // odd origin: shift truncates
        {400, 400, 1200, 1200, 400, 400, 0, 1200, 1200, 400, 400},  // reaching past the layer
    };
    for (const auto& [width, height, x, y, w, h, layer, lx, ly, lw, lh] : shots) {
        SCOPED_TRACE(testing::Message() << w << " x " << h << " at " << x << ", " << y);
        EXPECT_EQ(capture(four.p, width, height, x, y, w, h),
                  reference_bilinear(four.content[layer], lx, ly, lw, lh, width, height));
    }
    // Two layers: a factor of 16 still reads layer 1; the palette comes along.
    layered two({{64, 64}, {32, 32}}, 2);
    const planes got = capture(two.p, 2, 2, 0, 0, 32, 32);
    EXPECT_EQ(got, reference_bilinear(two.content[1], 0, 0, 16, 16, 2, 2));
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
