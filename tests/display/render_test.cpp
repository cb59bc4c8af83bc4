// Every view a pyramid bitmap draws equals the reference renderer's picture,
// pixel for pixel, for each image kind, scale, sampling and window placement.
#include <gtest/gtest.h>

#include <memory>

#include "display_test_util.h"
#include "host/qdc.h"

namespace tarvel_test {

namespace {

struct view_case {
    const char* what;
    double reduction;     // layer-0 pixels per view pixel, both directions
    double left, bottom;  // the window's lower-left corner
};

constexpr int kWidth = 301, kHeight = 203, kLayers = 6;
constexpr int W = 41, H = 29;  // the device rectangle
constexpr int kX = 7, kY = 3;  // its upper-left corner on the surface

const view_case kCases[] = {
    {"1:1", 1.0, 20.0, 30.0},
    {"1:1 on pixel centres", 1.0, 20.5, 30.5},
    {"just below 2", 1.9, 3.25, 7.5},
    {"2", 2.0, 0.0, 0.0},
    {"2.7", 2.7, 11.6, 5.3},
    {"just below 4", 3.99, 1.0, 2.0},
    {"4", 4.0, 33.0, 17.0},
    {"16, beyond the right and top", 16.0, 0.0, 0.0},
    {"enlarged 2.7 times", 0.37, 100.2, 80.9},
    {"enlarged, partly left of and below the image", 0.5, -6.3, -4.1},
    {"partly right of and above the image", 3.0, 250.0, 150.0},
    {"wholly outside", 1.5, -400.0, 900.0},
};

std::string case_name(const view_case& v, int type, bool overlaid, bool smooth) {
    return std::string(v.what) + ", type " + std::to_string(type) +
           (overlaid ? " overlaid" : " paged") + (smooth ? ", smooth" : ", nearest");
}

// The adapter that shows the layers: a paged pyramid's, or an overlaid one's.
std::unique_ptr<KORBAS::CImage> adapter_of(const std::vector<planes>& layers, bool overlaid) {
    if (overlaid)
        return std::make_unique<Image::CImageOverlaidPyramid>(make_overlaid_pyramid(layers));
    return std::make_unique<tarvel::CImagePyramid>(make_pyramid(layers));
}

}  // namespace

// Paged layers of each type, then overlaid layers (grey and colour only).
TEST(Render, ViewsEqualTheReferencePixelForPixel) {
    for (int kind = 1; kind <= 5; ++kind) {
        const bool overlaid = kind > 3;
        const int type = overlaid ? (kind == 4 ? 1 : 3) : kind;
        const std::vector<planes> layers = random_layers(type, kWidth, kHeight, kLayers, 40 + kind);
        const std::unique_ptr<KORBAS::CImage> shown = adapter_of(layers, overlaid);
        KORBAS::CImage& adapter = *shown;
        for (int smooth = 0; smooth < 2; ++smooth) {
            adapter.setSmoothing(smooth);
            for (const view_case& v : kCases) {
                SCOPED_TRACE(case_name(v, type, overlaid, smooth != 0));
                const double d3 = v.left + v.reduction * (W - 1);
                const double d4 = v.bottom + v.reduction * (H - 1);
                QDC dc(W + 12, H + 9);
                KORBAS::CBitmap* bitmap = adapter.createBitmap();
                bitmap->DisplayBitmap(dc, kX, kY + H - 1, kX + W - 1, kY, v.left, v.bottom, d3, d4);
                adapter.destroyBitmap(bitmap);

                EXPECT_EQ(surface_rect(dc, kX, kY, W, H),
                          reference_view(layers, W, H, v.left, v.bottom, d3, d4, smooth != 0));
                // Nothing outside the rectangle is drawn.
                int touched = 0;
                for (int y = 0; y < dc.GetHeight(); ++y)
                    for (int x = 0; x < dc.GetWidth(); ++x)
                        if ((x < kX || x >= kX + W || y < kY || y >= kY + H) &&
                            dc.GetPixel(x, y) != 0xffffffu)
                            ++touched;
                EXPECT_EQ(touched, 0);
            }
        }
    }
}

// One bitmap redrawn through a sequence of views, as a host pans and zooms:
// reused DIBs and tables, changing layers and samplings, still exact.
TEST(Render, ARepaintedBitmapFollowsEveryChange) {
    const std::vector<planes> layers = random_layers(3, kWidth, kHeight, kLayers, 7);
    tarvel::CImagePyramid adapter(make_pyramid(layers));
    KORBAS::CBitmap* bitmap = adapter.createBitmap();
    QDC dc(W, H);
    for (const view_case& v : kCases) {
        for (int smooth = 0; smooth < 2; ++smooth) {
            adapter.setSmoothing(smooth);
            const double d3 = v.left + v.reduction * (W - 1), d4 = v.bottom + v.reduction * (H - 1);
            bitmap->DisplayBitmap(dc, 0, H - 1, W - 1, 0, v.left, v.bottom, d3, d4);
            EXPECT_EQ(surface_rect(dc, 0, 0, W, H),
                      reference_view(layers, W, H, v.left, v.bottom, d3, d4, smooth != 0))
                << v.what << (smooth ? ", smooth" : ", nearest");
        }
    }
    adapter.destroyBitmap(bitmap);
}

// Views wide enough for the vector kernels' whole runs (64 and 16 pixels,
// eight for the blend) and their tails, at scales where rows are copied,
// blended or repeated, on paged and overlaid layers.
TEST(Render, WideViewsEqualTheReferencePixelForPixel) {
    constexpr int kWide = 227, kHigh = 9;  // 3 x 64 + 2 x 16 + 3 pixels
    const view_case cases[] = {
        {"1:1 on pixel centres", 1.0, 20.5, 30.5},
        {"1:1 between centres", 1.0, 20.25, 30.75},
        {"1:1 from the left edge", 1.0, 0.5, 0.5},
        {"1:1 beyond the right edge", 1.0, 140.5, 10.5},
        {"1:1 beyond the left edge", 1.0, -30.5, 10.5},
        {"1.35 (2.7 in layer 1)", 1.35, 3.3, 4.6},
        {"2.7", 2.7, 11.6, 5.3},
        {"enlarged 2.7 times", 0.37, 100.2, 80.9},
        {"16, beyond the right and top", 16.0, 0.0, 0.0},
        {"16, beyond every side", 16.0, -1000.0, -500.0},
    };
    for (int kind = 1; kind <= 4; ++kind) {
        const bool overlaid = kind > 2;
        const int type = kind % 2 ? 1 : 3;
        const std::vector<planes> layers = random_layers(type, kWidth, kHeight, kLayers, 90 + kind);
        const std::unique_ptr<KORBAS::CImage> shown = adapter_of(layers, overlaid);
        for (int smooth = 0; smooth < 2; ++smooth) {
            shown->setSmoothing(smooth);
            for (const view_case& v : cases) {
                SCOPED_TRACE(case_name(v, type, overlaid, smooth != 0));
                const double d3 = v.left + v.reduction * (kWide - 1);
                const double d4 = v.bottom + v.reduction * (kHigh - 1);
                QDC dc(kWide, kHigh);
                KORBAS::CBitmap* bitmap = shown->createBitmap();
                bitmap->DisplayBitmap(dc, 0, kHigh - 1, kWide - 1, 0, v.left, v.bottom, d3, d4);
                shown->destroyBitmap(bitmap);
                EXPECT_EQ(
                    surface_rect(dc, 0, 0, kWide, kHigh),
                    reference_view(layers, kWide, kHigh, v.left, v.bottom, d3, d4, smooth != 0));
            }
        }
    }
}

}  // namespace tarvel_test
