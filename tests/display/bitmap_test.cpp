// The pyramid bitmap's rules: layer choice, index tables, DIB layout, the
// blit, when a repaint fills again, the view cache, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../image/test_access.h"
#include "display_test_util.h"
#include "host/qdc.h"
#include "platform/surface.h"

namespace tarvel_test {

namespace {

// An adapter with a probe bitmap of its pyramid.
struct probed {
    explicit probed(const std::vector<planes>& layers)
        : adapter(make_pyramid(layers)), bitmap(&adapter, &adapter.getPyramid()) {}
    tarvel::CImagePyramid adapter;
    bitmap_probe bitmap;
};

// A window whose samples are `reduction` layer-0 pixels apart in a w x h view.
tarvel::view_window spaced(double reduction, int w, int h, double x = 0, double y = 0) {
    return {x, y, x + reduction * (w - 1), y + reduction * (h - 1)};
}

}  // namespace

TEST(Bitmap, LayerChoiceAtTheBoundaries) {
    probed three(random_layers(1, 400, 400, 3, 1));
    const struct {
        double rx, ry;
        int layer;
    } cases[] = {{1.0, 1.0, 0}, {1.9, 0.5, 0},   {0.5, 2.0, 1}, {2.0, 2.0, 1}, {3.99, 1.0, 1},
                 {4.0, 4.0, 2}, {100.0, 3.0, 2}, {0.1, 0.1, 0}, {1.0, 7.99, 2}};
    for (const auto& c : cases) {
        const tarvel::view_window w{0, 0, c.rx * 100, c.ry * 50};
        ASSERT_TRUE(three.bitmap.FillView(101, 51, w));
        EXPECT_EQ(three.bitmap.GetFillLayer(), c.layer) << c.rx << " x " << c.ry;
    }
}

TEST(Bitmap, IndexTablesAtTheEdges) {
    probed p(random_layers(1, 200, 200, 2, 2));
    bitmap_probe& b = p.bitmap;
    // Nearest on layer 1 (100 x 100): x 5.0 is column 2; y 0.0 the bottom row 99.
    b.FillIndexes(1, 0, 3, 5.0, 2.0, 2, 0.0, 2.0);
    EXPECT_EQ(b.m_column, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(b.m_row, (std::vector<int>{98, 99}));
    // Columns and rows beyond the layer repeat its edges.
    b.FillIndexes(1, 0, 3, -7.0, 120.0, 2, 150.0, 100.0);
    EXPECT_EQ(b.m_column, (std::vector<int>{0, 56, 99}));
    EXPECT_EQ(b.m_row, (std::vector<int>{0, 24}));
    // Smooth on layer 0: position 0 is -128 stored as 0, position 1 is 128.
    b.FillIndexes(0, 1, 2, 0.0, 1.0, 1, 0.5, 1.0);
    EXPECT_EQ(b.m_column, (std::vector<int>{0, 128}));
    EXPECT_EQ(b.m_row, (std::vector<int>{0}));
    // Right edge of layer 1, 100 wide: 98.5 x 256 stays, 99.0 x 256 is the
    // last pixel alone, 99.5 x 256 = 25472 and beyond become 25343 (pixel 98,
    // fraction 255); the walk from the right stops at the first entry it keeps.
    b.FillIndexes(1, 1, 4, 198.0, 1.0, 1, 0.0, 1.0);
    EXPECT_EQ(b.m_column, (std::vector<int>{25216, 25344, 25343, 25343}));
    b.FillIndexes(1, 1, 3, 197.0, 1.0, 1, 0.0, 1.0);
    EXPECT_EQ(b.m_column, (std::vector<int>{25088, 25216, 25344}));
}

TEST(Bitmap, DibRowsColoursAndTheBlit) {
    // 10 pixels wide: 8-bit rows take 12 bytes, 24-bit rows 32.
    std::vector<planes> grey = random_layers(1, 64, 64, 1, 3);
    std::vector<planes> red = random_layers(3, 64, 64, 1, 4);
    for (auto& v : grey[0].channel[0]) v = 200;
    red[0].channel[0].assign(64 * 64, 255);
    red[0].channel[1].assign(64 * 64, 0);
    red[0].channel[2].assign(64 * 64, 0);
    probed g(grey), c(red);
    ASSERT_TRUE(g.bitmap.FillView(10, 4, spaced(1, 10, 4)));
    ASSERT_TRUE(c.bitmap.FillView(10, 4, spaced(1, 10, 4)));
    EXPECT_EQ(g.bitmap.getStride(), 12u);
    EXPECT_EQ(c.bitmap.getStride(), 32u);
    EXPECT_EQ(g.bitmap.getDibBitCount(), 8);
    EXPECT_EQ(c.bitmap.getDibBitCount(), 24);
    EXPECT_LT(g.bitmap.m_pInfoHeader->biHeight, 0);  // top-down
    const RGBQUAD entry = g.bitmap.getColorTable()[200];
    EXPECT_EQ((std::vector<int>{entry.rgbBlue, entry.rgbGreen, entry.rgbRed, entry.rgbReserved}),
              (std::vector<int>{200, 200, 200, 0}));
    const unsigned char* px = c.bitmap.m_pBits + c.bitmap.getStride();  // row 1, column 0
    EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{0, 0, 255}));
    // The bitmap answers with the image's size and bytes per pixel, not the DIB's.
    EXPECT_EQ(c.bitmap.getWidth(), 64u);
    EXPECT_EQ(c.bitmap.getBPP(), 3);

    // x1 = 10, y1 = 209, x2 = 109, y2 = 10: a 100 x 200 picture at (10, 10),
    // nothing around it; the grey bitmap's palette is selected and realised.
    QDC dc(130, 230);
    g.bitmap.DisplayBitmap(dc, 10, 209, 109, 10, 0, 0, 63, 63);
    for (int y = 0; y < 230; ++y)
        for (int x = 0; x < 130; ++x) {
            const bool inside = x >= 10 && x <= 109 && y >= 10 && y <= 209;
            ASSERT_EQ(dc.GetPixel(x, y), inside ? 0xc8c8c8u : 0xffffffu) << x << "," << y;
        }
    EXPECT_EQ(dc.GetHDC()->palette, g.bitmap.m_hPalette);
    EXPECT_EQ(dc.GetHDC()->realizedEntries, 256u);
}

TEST(Bitmap, RepaintsFillOnlyWhenSomethingChanged) {
    std::vector<planes> layers = random_layers(2, 300, 300, 3, 5);
    probed p(layers);
    bitmap_probe& b = p.bitmap;
    QDC dc(60, 40);
    auto show = [&](double x) { b.DisplayBitmap(dc, 0, 39, 59, 0, x, 0, x + 59, 39); };
    show(0);
    EXPECT_EQ(b.GetFillCount(), 1);
    const BITMAPINFOHEADER* dib = b.m_pInfoHeader;

    // Unchanged: no fill, but the DIB is drawn again.
    dc.Clear(0);
    show(0);
    EXPECT_EQ(b.GetFillCount(), 1);
    EXPECT_NE(dc.GetPixel(5, 5), 0u);

    // Each change fills again into the same DIB.
    p.adapter.setSmoothing(1);
    show(0);
    EXPECT_EQ(b.GetFillCount(), 2);
    p.adapter.getPyramid().SetBrightnessContrast(60, 50);
    show(0);
    EXPECT_EQ(b.GetFillCount(), 3);
    p.adapter.getPyramid().SetBrightnessContrast(60, 70);
    show(0);
    EXPECT_EQ(b.GetFillCount(), 4);
    show(1);
    EXPECT_EQ(b.GetFillCount(), 5);
    EXPECT_EQ(b.m_pInfoHeader, dib);

    // The colour table is made with the DIB: a new palette shows only once a
    // rectangle of another size reallocates it.
    const RGBQUAD before = b.getColorTable()[7];
    p.adapter.getPyramid().GetLayerAt(0)->GetPalette()[3 * 7] ^= 0xff;
    show(2);
    EXPECT_EQ(b.getColorTable()[7].rgbRed, before.rgbRed);
    b.DisplayBitmap(dc, 0, 29, 59, 0, 0, 0, 59, 39);
    EXPECT_EQ(b.GetFillCount(), 7);
    EXPECT_EQ(b.m_pInfoHeader->biHeight, -30);
    EXPECT_EQ(b.getColorTable()[7].rgbRed, before.rgbRed ^ 0xff);
}

TEST(Bitmap, AnOverlaidFlushFillsAgain) {
    Image::CImageOverlaidPyramid adapter(make_overlaid_pyramid(random_layers(3, 90, 70, 2, 9)));
    auto* b = static_cast<tarvel::CBitmapViewWindows*>(adapter.createBitmap());
    const tarvel::view_window w = spaced(1.5, 30, 20);
    ASSERT_TRUE(b->FillView(30, 20, w));
    ASSERT_TRUE(b->FillView(30, 20, w));
    EXPECT_EQ(b->GetFillCount(), 1);
    adapter.flush();
    ASSERT_TRUE(b->FillView(30, 20, w));
    EXPECT_EQ(b->GetFillCount(), 2);
    adapter.setSmoothing(1);
    ASSERT_TRUE(b->FillView(30, 20, w));
    EXPECT_EQ(b->GetFillCount(), 3);
    adapter.destroyBitmap(b);
}

// A view at 1:1 of a layer whose rows lie in more pages than the default
// cache holds keeps all of them after its fill; moving to another layer, and
// destroying the bitmap, gives the layer its default cache back.
TEST(Bitmap, TheViewCacheHoldsTheRowsOfTheView) {
    tarvel::CImagePyramid adapter(make_pyramid(random_layers(3, 3000, 2400, 2, 6)));
    tarvel::image& top = *adapter.getPyramid().GetLayerAt(0);
    const long long standard = static_cast<long long>(top.GetCacheLimit()) * top.GetPageSize();
    const int pageLen = top.GetPageLen();
    ASSERT_LT(top.GetCacheLimit() / 3 * pageLen, 2000);  // fewer rows than the view has
    auto* b = static_cast<tarvel::CBitmapViewWindows*>(adapter.createBitmap());

    // Image y 300 to 2299 upward: rows 100 to 2099.
    ASSERT_TRUE(b->FillView(800, 2000, spaced(1, 800, 2000, 100, 300)));
    const int first = 100 / pageLen, last = 2099 / pageLen;
    EXPECT_EQ(top.GetCacheBudget(), 3LL * (last - first + 1) * top.GetPageSize());
    for (int c = 0; c < 3; ++c)
        for (int k = first; k <= last; ++k)
            EXPECT_TRUE(tarvel::image_test_access::page(top, c, k).IsInMemory()) << c << " " << k;

    ASSERT_TRUE(b->FillView(800, 2000, spaced(2, 800, 2000)));
    EXPECT_EQ(b->GetFillLayer(), 1);
    EXPECT_EQ(top.GetCacheBudget(), standard);
    EXPECT_LT(top.GetInMemoryCount(), top.GetCacheLimit());

    ASSERT_TRUE(b->FillView(800, 2000, spaced(1, 800, 2000)));
    EXPECT_GT(top.GetCacheBudget(), standard);
    adapter.destroyBitmap(b);
    EXPECT_EQ(top.GetCacheBudget(), standard);
}

TEST(Bitmap, BadInputDrawsNothingOrEdgesAndNeverReadsOutside) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int width : {1, 2, 57}) {  // a layer one pixel wide has no right neighbour at all
        probed p(random_layers(3, width, 40, 2, 8));
        for (int smooth = 0; smooth < 2; ++smooth) {
            p.adapter.setSmoothing(smooth);
            QDC dc(20, 20);
            const long long fills = p.bitmap.GetFillCount();
            // A rectangle of zero or negative size draws nothing.
            p.bitmap.DisplayBitmap(dc, 5, 4, 4, 0, 0, 0, 10, 10);
            p.bitmap.DisplayBitmap(dc, 5, 0, 9, 4, 0, 0, 10, 10);
            EXPECT_EQ(p.bitmap.GetFillCount(), fills);
            EXPECT_EQ(dc.GetPixel(6, 2), 0xffffffu);
            EXPECT_FALSE(p.bitmap.FillView(0, 5, spaced(1, 5, 5)));
            // Mirrored, flat, huge and not-a-number windows, one-pixel rectangles.
            const tarvel::view_window odd[] = {
                {50, 30, 0, 0},       {10, 10, 10, 10},  {-1e300, 0, 1e300, 1e300},
                {nan, nan, nan, nan}, {-inf, 0, inf, 5}, {1e9, 1e9, 2e9, 2e9}};
            for (const auto& w : odd) {
                EXPECT_TRUE(p.bitmap.FillView(19, 11, w));
                EXPECT_TRUE(p.bitmap.FillView(1, 11, w));
                EXPECT_TRUE(p.bitmap.FillView(13, 1, w));
            }
        }
    }
    // An adapter over an empty pyramid shows nothing.
    tarvel::CImagePyramid empty(new tarvel::pyramid);
    KORBAS::CBitmap* b = empty.createBitmap();
    QDC dc(8, 8);
    b->DisplayBitmap(dc, 0, 7, 7, 0, 0, 0, 7, 7);
    EXPECT_EQ(dc.GetPixel(3, 3), 0xffffffu);
    empty.destroyBitmap(b);
}

}  // namespace tarvel_test
