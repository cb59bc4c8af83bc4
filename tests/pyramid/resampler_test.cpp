// Resampler: kernel choice, exact kernel values against plain references,
// palettes, progress calls, enlarging without overflow and edge clamping.
#include <gtest/gtest.h>

#include "host/host.h"
#include "pyramid/resampler.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::CImageResampler_bilinear;
using tarvel::image;

// Runs the bilinear resampler on a rectangle of src into a new image.
planes resample(image& src, int x, int y, int w, int h, int width, int height,
                KORBAS::IProgressWork* progress = nullptr) {
    image dst;
    CImageResampler_bilinear r;
    r.SetSource(&src, x, y, w, h);
    r.SetDestination(&dst, 0, 0, width, height);
    EXPECT_TRUE(r.Execute(progress));
    return read_image(dst);
}

TEST(Resampler, BilinearValuesWorkedByHand) {
    // One row [0, 100] widened to 4: positions 0, 0.5, 1, 1.5 source pixels;
    // the last column's right neighbour and the row below repeat the edge.
    image src;
    planes row;
    row.width = 2;
    row.height = 1;
    row.channel = {{0, 100}};
    fill_image(src, row);
    EXPECT_EQ(resample(src, 0, 0, 2, 1, 4, 1).channel[0],
              (std::vector<unsigned char>{0, 50, 100, 100}));

    // 2x2 [[0, 200], [100, 40]] to 3x3: positions 0, 170/256 and 1 + 85/256.
    // Centre: top = 200*170 = 34000, bottom = 100*86 + 40*170 = 15400,
    // (34000*86 + 15400*170) >> 16 = 5542000 >> 16 = 84 (no rounding term).
    planes square;
    square.width = square.height = 2;
    square.channel = {{0, 200, 100, 40}};
    fill_image(src, square);
    const planes out = resample(src, 0, 0, 2, 2, 3, 3);
    EXPECT_EQ(out.at(0, 0, 0), 0);  // the top-left sample is copied unchanged
    EXPECT_EQ(out.at(0, 1, 1), 84);
    // (0, 2): x position 0, y position 1 + 85/256 over rows 1 and 1 (edge):
    // 100 * 256 * 256 >> 16 = 100.
    EXPECT_EQ(out.at(0, 0, 2), 100);
}

TEST(Resampler, KernelsMatchPlainReferences) {
    scratch_dir dir;
    struct shape {
        int type, sw, sh, x, y, w, h, width, height;
    };
    const shape cases[] = {
        {1, 5, 5, 0, 0, 5, 5, 2, 2},                   // halving uses only the top-left 4x4
        {3, 37, 23, 3, 2, 30, 20, 15, 10},             // halving a rectangle, RGB
        {2, 40, 30, 0, 0, 40, 30, 20, 15},             // halving a palette image: on indices
        {3, 31, 17, 2, 1, 25, 13, 11, 7},              // reduction, bilinear
        {1, 7, 5, 0, 0, 7, 5, 50, 33},                 // enlargement, bilinear
        {2, 9, 9, 4, 4, 5, 5, 12, 3},                  // stretch of a corner, palette
        {1, 3000, 3, 0, 0, 3000, 3, 1001, 2},          // width above 2896: double positions
        {1, 2896, 2, 0, 0, 2896, 2, 999, 1},           // width at 2896: integer positions
        {1, 1000, 3000, 0, 0, 1000, 3000, 500, 1500},  // several pages in and out
        {3, 12, 9, 5, 3, 7, 6, 7, 6},                  // copy of a rectangle
    };
    for (const shape& s : cases) {
        SCOPED_TRACE(testing::Message()
                     << s.sw << "x" << s.sh << " -> " << s.width << "x" << s.height);
        const planes in = random_planes(s.type, s.sw, s.sh, s.sw * 31 + s.width);
        image src;
        src.SetTempPath(dir.bare().c_str());
        fill_image(src, in);
        const planes got = resample(src, s.x, s.y, s.w, s.h, s.width, s.height);
        const bool halving = s.w / 2 == s.width && s.h / 2 == s.height;
        const planes want = halving ? reference_halve(in, s.x, s.y, s.width, s.height)
                                    : reference_bilinear(in, s.x, s.y, s.w, s.h, s.width, s.height);
        EXPECT_TRUE(got == want);
    }
}

TEST(Resampler, HalvingTakesTruncatedMeansOfBlocks) {
    image src;
    planes p;
    p.width = p.height = 5;
    // Blocks: top-left {1,2,3,4} -> 2, top-right {255,255,255,254} -> 254;
    // the fifth row and column must not contribute.
    p.channel = {{1,  2,  255, 255, 9,  //
                  3,  4,  255, 254, 9,  //
                  0,  0,  7,   7,   9,  //
                  0,  1,  7,   8,   9,  //
                  99, 99, 99,  99,  99}};
    fill_image(src, p);
    EXPECT_EQ(resample(src, 0, 0, 5, 5, 2, 2).channel[0],
              (std::vector<unsigned char>{2, 254, 0, 7}));
}

TEST(Resampler, EnlargingPositionsAreExact) {
    // i * 2896 * 256 passes 2^31 from i = 2897 on: positions must still equal
    // the exact truncated quotients.
    const planes in = random_planes(1, 2896, 2, 7);
    image src;
    fill_image(src, in);
    EXPECT_TRUE(resample(src, 0, 0, 2896, 2, 8000, 5) ==
                reference_bilinear(in, 0, 0, 2896, 2, 8000, 5));
}

TEST(Resampler, RectanglesReachingOutsideReadTheEdge) {
    const planes in = random_planes(3, 16, 12, 3);
    image src;
    fill_image(src, in);
    // Copy, halving and bilinear with rectangles partly or wholly outside.
    EXPECT_TRUE(resample(src, 10, 8, 10, 8, 10, 8) == reference_bilinear(in, 10, 8, 10, 8, 10, 8));
    EXPECT_TRUE(resample(src, -3, -5, 20, 20, 10, 10) == reference_halve(in, -3, -5, 10, 10));
    EXPECT_TRUE(resample(src, 14, -2, 9, 30, 5, 7) == reference_bilinear(in, 14, -2, 9, 30, 5, 7));
    EXPECT_TRUE(resample(src, 100000, 100000, 4, 4, 3, 3) ==
                reference_bilinear(in, 100000, 100000, 4, 4, 3, 3));
}

TEST(Resampler, ProgressCallsPerKernel) {
    const planes grey = random_planes(1, 20, 10, 1);
    const planes rgb = random_planes(3, 20, 10, 2);
    image g, c;
    fill_image(g, grey);
    fill_image(c, rgb);
    struct expect {
        image* src;
        int width, height;
        std::vector<std::string> head;
        int advances;
    };
    const expect cases[] = {
        {&g, 20, 10, {"total 10"}, 0},  // copy: announced, never advanced
        {&c, 20, 10, {"total 30"}, 0},  {&g, 10, 5, {"total 5"}, 5},   // halving
        {&c, 10, 5, {"total 15"}, 15},  {&c, 7, 4, {"total 12"}, 12},  // bilinear
        {&g, 40, 25, {"total 25"}, 25},                                // enlarging
    };
    for (const expect& e : cases) {
        recording_sink sink;
        const planes with = resample(*e.src, 0, 0, 20, 10, e.width, e.height, &sink);
        ASSERT_FALSE(sink.calls.empty());
        EXPECT_EQ(sink.calls.front(), e.head.front());
        EXPECT_EQ(sink.count("advance 1"), e.advances);
        EXPECT_EQ(static_cast<int>(sink.calls.size()), 1 + e.advances);
        EXPECT_TRUE(with == resample(*e.src, 0, 0, 20, 10, e.width, e.height, nullptr));
    }
}

TEST(Resampler, FailuresReturnFalse) {
    image src(1, 8, 8, 0);
    image dst(1, 3, 3, 0);
    tarvel::CImageResampler base;  // records, touches nothing
    base.SetSource(&src, 0, 0, 8, 8);
    base.SetDestination(&dst, 0, 0, 4, 4);
    EXPECT_FALSE(base.Execute(nullptr));
    EXPECT_EQ(dst.GetWidth(), 3);

    CImageResampler_bilinear r;
    r.SetSource(nullptr, 0, 0, 8, 8);  // no source
    r.SetDestination(&dst, 0, 0, 4, 4);
    EXPECT_FALSE(r.Execute(nullptr));
    EXPECT_EQ(dst.GetWidth(), 3);
    r.SetSource(&src, 0, 0, 8, 8);
    r.SetDestination(&dst, 0, 0, 0, 5);  // no image of width 0
    EXPECT_FALSE(r.Execute(nullptr));
    EXPECT_FALSE(dst.IsValid());
}

}  // namespace
}  // namespace tarvel_test
