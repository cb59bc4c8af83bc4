// Overlaid pixel access: row spans and rectangles across tiles, the order
// tiles are used in, packed colour, and tiles that cannot be used.
#include <gtest/gtest.h>

#include "overlaid_test_util.h"

using namespace tarvel_test;

namespace {

unsigned char sample(int c, int x, int y) {
    return static_cast<unsigned char>(x * 7 + y * 13 + c * 101);
}

}  // namespace

TEST(OverlaidPixels, LinesAndRegionsAcrossTiles) {
    const int W = 700, H = 600;  // 2 x 2 tiles of 512, the last column 188 and row 88 wide
    held<COverlaidImage> image(new COverlaidImage(W, H, 3, kByte, kColour));
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) image->PutPixel(x, y, c, sample(c, x, y));
    const struct {
        int x0, y0, x1, y1;
    } rects[] = {{500, 10, 520, 10},
                 {0, 0, W - 1, H - 1},
                 {511, 511, 512, 512},
                 {3, 400, 699, 599},
                 {600, 5, 600, 599}};
    std::vector<unsigned char> out, red, green, blue;
    std::vector<int> packed;
    for (const auto& r : rects) {
        SCOPED_TRACE(testing::Message() << r.x0 << "," << r.y0 << " " << r.x1 << "," << r.y1);
        const int w = r.x1 - r.x0 + 1, n = w * (r.y1 - r.y0 + 1);
        packed.assign(n, -1);
        image->GetRegionRGB(r.x0, r.y0, r.x1, r.y1, packed.data());
        for (int c = 0; c < 3; ++c) {
            out.assign(n, 0);
            image->GetRegion(r.x0, r.y0, r.x1, r.y1, c, out.data());
            for (int i = 0; i < n; ++i) {
                const unsigned char expected = sample(c, r.x0 + i % w, r.y0 + i / w);
                ASSERT_EQ(out[i], expected) << c << " " << i;
                ASSERT_EQ(packed[i] >> (8 * c) & 0xff, expected) << i;
            }
        }
        red.assign(w, 0), green.assign(w, 0), blue.assign(w, 0), out.assign(w, 0);
        image->GetLine(r.x0, r.x1, r.y1, 1, out.data());
        image->GetLineRGB(r.x0, r.x1, r.y1, red.data(), green.data(), blue.data());
        for (int i = 0; i < w; ++i) {
            ASSERT_EQ(out[i], sample(1, r.x0 + i, r.y1));
            ASSERT_EQ(red[i], sample(0, r.x0 + i, r.y1));
            ASSERT_EQ(green[i], sample(1, r.x0 + i, r.y1));
            ASSERT_EQ(blue[i], sample(2, r.x0 + i, r.y1));
        }
    }
    // Packed colour; a single channel packs as itself.
    image->PutPixel(5, 5, 0, 10), image->PutPixel(5, 5, 1, 20), image->PutPixel(5, 5, 2, 30);
    int value = 0;
    image->GetRegionRGB(5, 5, 5, 5, &value);
    EXPECT_EQ(value, 1971210);
    held<COverlaidImage> grey(new COverlaidImage(4, 4, 1, kByte, kGrey));
    grey->PutPixel(1, 2, 0, 200);
    grey->GetRegionRGB(1, 2, 1, 2, &value);
    EXPECT_EQ(value, 200);
    unsigned char r = 0, g = 0, b = 0;
    grey->GetLineRGB(1, 1, 2, &r, &g, &b);  // one channel gives it to all three
    EXPECT_EQ(r + g + b, 600);
    EXPECT_FALSE(image->HasFailed());
}

TEST(OverlaidPixels, EachTileUsedOnceInRowMajorOrder) {
    part_limit limit(512 * 512);  // every tile used evicts the one before
    std::vector<std::string> log;
    held<logging_image> a(new logging_image('A', log));
    ASSERT_TRUE(a->Create(1024, 1024, 1, kByte, kGrey));
    unsigned char out[64 * 64];
    const auto loads = [&] {
        std::vector<std::string> names;
        for (const std::string& entry : log)
            if (entry.compare(0, 4, "Load") == 0) names.push_back(entry.substr(5));
        log.clear();
        return names;
    };
    a->GetRegion(490, 500, 530, 540, 0, out);
    EXPECT_EQ(loads(), (std::vector<std::string>{"A0", "A1", "A2", "A3"}));
    EXPECT_EQ(a->GetPartList()->m_pHead, a->GetPart(3));  // only the last one stays
    EXPECT_EQ(a->GetPartList()->GetLoadedCount(), 1u);
    a->GetLine(500, 520, 10, 0, out);
    EXPECT_EQ(loads(), (std::vector<std::string>{"A0", "A1"}));
    // Empty ranges write nothing and use no tile.
    out[0] = 77;
    a->GetLine(7, 6, 3, 0, out);
    a->GetRegion(5, 9, 9, 8, 0, out);
    a->GetLineRGB(7, 6, 3, out, out, out);
    EXPECT_EQ(out[0], 77);
    EXPECT_TRUE(log.empty());
}

TEST(OverlaidPixels, TileThatCannotBeUsedReadsZerosAndIsRecorded) {
    std::vector<std::string> log;
    held<logging_image> a(new logging_image('A', log));
    ASSERT_TRUE(a->Create(64, 64, 1, kByte, kGrey, 32, 32));
    img::COverlaidImagePartList& list = *a->GetPartList();
    part_limit limit(2 * 32 * 32);
    a->PutPixel(0, 0, 0, 11);   // tile 0
    a->PutPixel(40, 0, 0, 12);  // tile 1: the list is full now
    const struct {
        const char* operation;
        unsigned loadedAfter;  // Save fails: tile 0 stays; Alloc or Load fails: it is gone
    } failures[] = {{"Save", 2}, {"Load", 1}};
    for (const auto& f : failures) {
        SCOPED_TRACE(f.operation);
        a->failing_tile = f.operation[0] == 'S' ? 0 : 2;
        a->fail_in = f.operation;
        a->PutPixel(0, 40, 0, 99);  // tile 2: dropped
        EXPECT_EQ(a->GetPixel(0, 40, 0), 0);
        EXPECT_TRUE(a->HasFailed());
        EXPECT_NE(a->GetFailure().find("swap file"), std::string::npos) << a->GetFailure();
        EXPECT_EQ(list.GetLoadedCount(), f.loadedAfter);
        EXPECT_EQ(list.GetBytesInUse(), f.loadedAfter * 32 * 32);
        EXPECT_EQ(a->GetPart(2)->m_nLock, 0);
        a->ClearFailure();
        a->failing_tile = -1;
        EXPECT_EQ(a->GetPixel(40, 0, 0), 12);
        EXPECT_EQ(a->GetPixel(0, 0, 0), 11);
        EXPECT_FALSE(a->HasFailed());
    }
    // No room for a new buffer: the region reads zeros there and real samples elsewhere.
    held<logging_image> b(new logging_image('B', log));
    ASSERT_TRUE(b->Create(64, 64, 1, kByte, kGrey, 16, 32));  // smaller: no buffer handed over
    b->failing_tile = 1;
    b->fail_in = "Alloc";
    b->PutPixel(0, 0, 0, 1), b->PutPixel(20, 0, 0, 2), b->PutPixel(40, 0, 0, 3);
    unsigned char row[64];
    b->GetLine(0, 63, 0, 0, row);
    EXPECT_EQ(row[0] + row[20] * 10 + row[40] * 100, 1 + 0 + 300);
    EXPECT_EQ(b->GetFailure(), "out of memory for a tile buffer");
    // An image without tiles reads zeros too.
    held<COverlaidImage> empty(new COverlaidImage);
    EXPECT_EQ(empty->GetPixel(0, 0, 0), 0);
    EXPECT_TRUE(empty->HasFailed());
}
