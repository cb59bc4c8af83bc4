// Resampler: kernel values worked by hand, every kernel against plain
// references, enlarging without overflow and rectangles reaching outside.
#include "pyramid/resampler.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

// Runs the bilinear resampler on a rectangle of `in` into a new image.
planes resample(const planes& in, int x, int y, int w, int h, int width, int height) {
    scratch_dir dir;  // for the page files of images larger than the cache
    image src, dst;
    src.SetTempPath(dir.bare().c_str());
    fill_image(src, in);
    tarvel::CImageResampler_bilinear r;
    r.SetSource(&src, x, y, w, h);
    r.SetDestination(&dst, 0, 0, width, height);
    EXPECT_TRUE(r.Execute(nullptr));
    return read_image(dst);
}

TEST(Resampler, KernelValuesWorkedByHand) {
    // One row [0, 100] widened to 4: positions 0, 0.5, 1, 1.5 source pixels;
    // the last column's right neighbour and the row below repeat the edge.
    EXPECT_EQ(resample(planes{1, 2, 1, {{0, 100}}, {}}, 0, 0, 2, 1, 4, 1).channel[0],
              (std::vector<unsigned char>{0, 50, 100, 100}));

    // 2x2 [[0, 200], [100, 40]] to 3x3: positions 0, 170/256 and 1 + 85/256.
    // Centre: top = 200*170 = 34000, bottom = 100*86 + 40*170 = 15400,
    // (34000*86 + 15400*170) >> 16 = 5542000 >> 16 = 84 (no rounding term).
    // Last row and column: the edge repeated, e.g. (2, 2) = 40 * 256 * 256 >> 16.
    EXPECT_EQ(resample(planes{1, 2, 2, {{0, 200, 100, 40}}, {}}, 0, 0, 2, 2, 3, 3).channel[0],
              (std::vector<unsigned char>{0, 132, 200, 66, 84, 93, 100, 60, 40}));

    // Halving: top-left {1,2,3,4} -> 2, top-right {255,255,255,254} -> 254
    // (truncated); the fifth row and column do not contribute.
    const std::vector<unsigned char> square = {1,  2,  255, 255, 9,  //
                                               3,  4,  255, 254, 9,  //
                                               0,  0,  7,   7,   9,  //
                                               0,  1,  7,   8,   9,  //
                                               99, 99, 99,  99,  99};
    EXPECT_EQ(resample(planes{1, 5, 5, {square}, {}}, 0, 0, 5, 5, 2, 2).channel[0],
              (std::vector<unsigned char>{2, 254, 0, 7}));
}

TEST(Resampler, KernelsMatchPlainReferences) {
    // Copy (same size), halving (half size) and bilinear, inside the source
    // and reaching outside it (the edge repeated, nothing read beyond).
    // Type, source size, rectangle, target size.
    const int cases[][9] = {
        {3, 37, 23, 3, 2, 30, 20, 15, 10},             // halving a rectangle, RGB
        {2, 40, 30, 0, 0, 40, 30, 20, 15},             // halving a palette image: on indices
        {2, 9, 9, 4, 4, 5, 5, 12, 3},                  // stretch of a corner, palette
        {1, 3000, 3, 0, 0, 3000, 3, 1001, 2},          // width above 2896: double positions
        {1, 2896, 2, 0, 0, 2896, 2, 8000, 5},          // i * 2896 * 256 passes 2^31
        {1, 1000, 3000, 0, 0, 1000, 3000, 500, 1500},  // several pages in and out
        {3, 16, 12, 10, 8, 10, 8, 10, 8},              // copy reaching outside
        {3, 16, 12, -3, -5, 20, 20, 10, 10},           // halving reaching outside
        {3, 16, 12, 14, -2, 9, 30, 5, 7},              // bilinear reaching outside
        {3, 16, 12, 100000, 100000, 4, 4, 3, 3},       // wholly outside
    };
    for (const auto& [type, sw, sh, x, y, w, h, width, height] : cases) {
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " (" << x << ", " << y << ") -> "
                                        << width << "x" << height);
        const planes in = random_planes(type, sw, sh, sw * 31 + width);
        const bool halving = w / 2 == width && h / 2 == height;
        EXPECT_TRUE(resample(in, x, y, w, h, width, height) ==
                    (halving ? reference_halve(in, x, y, width, height)
                             : reference_bilinear(in, x, y, w, h, width, height)));
    }
}

}  // namespace
}  // namespace tarvel_test
