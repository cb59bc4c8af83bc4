// Resident memory of overlaid images stays near the part list's limit
// however much of them is written and read.
#include <gtest/gtest.h>

#include <algorithm>

#include "overlaid_test_util.h"
#include "tests/resident_memory.h"

using namespace tarvel_test;

TEST(OverlaidMemory, FourHundredTilesThroughSixteenMebibytes) {
#ifdef TARVEL_ASAN  // defined by the build for sanitizer builds
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory in quarantine";
#endif
    const unsigned limitBytes = 16u << 20;
    part_limit limit(limitBytes);
    const int side = 20 * 512;  // 20 x 20 colour tiles of 768 KiB: 300 MiB
    std::vector<unsigned char> in(512 * 512), out(512 * 512);
    const long long before = resident_bytes();
    long long peak = before;
    {
        held<COverlaidImage> image(new COverlaidImage(side, side, 3, kByte, kColour));
        ASSERT_EQ(image->GetPartCount(), 400u);
        ASSERT_EQ(image->GetTileBytes(), 768u << 10);
        for (int pass = 0; pass < 2; ++pass) {
            for (int k = 0; k < 400; ++k) {
                const int x = k % 20 * 512, y = k / 20 * 512;
                for (int c = 0; c < 3; ++c) {
                    for (int i = 0; i < 512 * 512; ++i)
                        in[i] = static_cast<unsigned char>(i + k + c);
                    if (pass == 0) {
                        image->PutRegion(x, y, x + 511, y + 511, c, in.data());
                    } else {
                        image->GetRegion(x, y, x + 511, y + 511, c, out.data());
                        ASSERT_EQ(in, out) << k << " " << c;
                    }
                }
                peak = std::max(peak, resident_bytes());
            }
        }
        EXPECT_FALSE(image->HasFailed());
    }
    EXPECT_LT(peak - before, static_cast<long long>(limitBytes) + (8 << 20));
}
