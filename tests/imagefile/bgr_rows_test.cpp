// Blue-green-red rows to and from planes, for every width around the 16-pixel
// steps of the shuffled copy, against a pixel-by-pixel copy written here.
#include <gtest/gtest.h>

#include <vector>

#include "imagefile/bgr_rows.h"

namespace {

TEST(BgrRows, InterleaveAndDeinterleaveMatchAPixelByPixelCopyAtEveryWidth) {
    for (int width : {0, 1, 2, 15, 16, 17, 31, 32, 33, 47, 48, 49, 100, 10007}) {
        SCOPED_TRACE(width);
        std::vector<unsigned char> planes[3];
        for (int c = 0; c < 3; ++c) {
            for (int x = 0; x < width; ++x)
                planes[c].push_back(static_cast<unsigned char>(x * (c + 5) + 77 * c + (x >> 8)));
        }
        std::vector<unsigned char> expected;
        for (int x = 0; x < width; ++x) {
            for (int c : {2, 1, 0}) expected.push_back(planes[c][x]);
        }
        // One guard byte past the row shows that nothing is written beyond it.
        std::vector<unsigned char> bgr(3 * width + 1, 0xa5);
        tarvel::InterleaveBgr(planes[0].data(), planes[1].data(), planes[2].data(), bgr.data(),
                              width);
        EXPECT_EQ(bgr.back(), 0xa5);
        bgr.pop_back();
        EXPECT_EQ(bgr, expected);

        std::vector<unsigned char> back[3];
        for (auto& plane : back) plane.assign(width + 1, 0xa5);
        tarvel::DeinterleaveBgr(expected.data(), back[0].data(), back[1].data(), back[2].data(),
                                width);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(back[c].back(), 0xa5);
            back[c].pop_back();
            EXPECT_EQ(back[c], planes[c]) << "channel " << c;
        }
    }
}

}  // namespace
