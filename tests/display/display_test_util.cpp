// Helpers of the display tests: layered pyramids and the reference renderer.
#include "display_test_util.h"

#include <algorithm>
#include <cmath>

#include "host/qdc.h"

namespace tarvel_test {

std::vector<planes> random_layers(int type, int width, int height, int count, std::uint32_t seed) {
    std::vector<planes> layers;
    for (int k = 0; k < count; ++k) {
        layers.push_back(
            random_planes(type, std::max(1, width >> k), std::max(1, height >> k), seed + k));
        layers[k].palette = layers[0].palette;
    }
    return layers;
}

tarvel::pyramid* make_pyramid(const std::vector<planes>& layers) {
    auto* p = new tarvel::pyramid;
    for (const planes& l : layers) {
        auto* img = new tarvel::image;
        fill_image(*img, l);
        p->PushBack(img);
    }
    return p;
}

Image::COverlaidPyramid* make_overlaid_pyramid(const std::vector<planes>& layers) {
    auto* p = new Image::COverlaidPyramid;
    for (const planes& l : layers) {
        const unsigned channels = static_cast<unsigned>(l.channel.size());
        auto* img = new Image::COverlaidImage(
            l.width, l.height, channels, Image::IImage::kPixelByte,
            l.type == 3 ? Image::IImage::kImageColour : Image::IImage::kImageGrey);
        for (unsigned c = 0; c < channels; ++c)
            img->PutRegion(0, 0, l.width - 1, l.height - 1, int(c), l.channel[c].data());
        p->PushBack(img);
    }
    return p;
}

namespace {

// floor() as an int, saturated; positions stay far inside the range here.
long long fl(double v) {
    return static_cast<long long>(std::floor(v));
}

std::uint32_t colour_of(const std::vector<planes>& layers, const planes& L, int c0, int c1,
                        int c2) {
    if (L.type == 3) return (std::uint32_t(c0) << 16) | (c1 << 8) | c2;
    if (L.type == 2) {
        const auto& pal = layers[0].palette;
        return (std::uint32_t(pal[3 * c0]) << 16) | (pal[3 * c0 + 1] << 8) | pal[3 * c0 + 2];
    }
    return (std::uint32_t(c0) << 16) | (c0 << 8) | c0;
}

}  // namespace

std::vector<std::uint32_t> reference_view(const std::vector<planes>& layers, int W, int H,
                                          double d1, double d2, double d3, double d4, bool smooth) {
    // Spacing of samples; the more reduced direction picks the layer.
    const double sx = (d3 - d1) / (W > 1 ? W - 1 : 1);
    const double sy = (d4 - d2) / (H > 1 ? H - 1 : 1);
    const double f = std::max(sx, sy);
    int layer = 0;
    if (f > 1.0) {
        const long long factor = fl(f);
        while (layer + 1 < static_cast<int>(layers.size()) && (2LL << layer) <= factor) ++layer;
    }
    const planes& L = layers[layer];
    const double s = std::pow(2.0, layer);
    const int LW = L.width, LH = L.height;

    // Positions accumulated in double, as the bitmaps do.
    std::vector<double> xs(W), ys(H);
    double x = d1, y = d2;
    for (int i = 0; i < W; ++i, x += sx) xs[i] = x;
    for (int j = 0; j < H; ++j, y += sy) ys[j] = y;

    std::vector<std::uint32_t> out(static_cast<size_t>(W) * H);
    const int channels = L.type == 3 ? 3 : 1;
    if (!smooth) {
        for (int j = 0; j < H; ++j) {
            const long long r = std::clamp(LH - 1 - fl(ys[H - 1 - j] / s), 0LL, LH - 1LL);
            for (int i = 0; i < W; ++i) {
                const long long c = std::clamp(fl(xs[i] / s), 0LL, LW - 1LL);
                int v[3] = {0, 0, 0};
                for (int ch = 0; ch < channels; ++ch) v[ch] = L.at(ch, int(c), int(r));
                out[size_t(j) * W + i] = colour_of(layers, L, v[0], v[1], v[2]);
            }
        }
        return out;
    }
    // Eight fraction bits from pixel centres; past the right edge the last
    // pixel weighs 255/256.
    std::vector<long long> col(W);
    for (int i = 0; i < W; ++i) col[i] = std::max(0LL, fl((xs[i] / s - 0.5) * 256.0));
    for (int i = W - 1; i >= 0 && col[i] > 256LL * (LW - 1); --i) col[i] = 256LL * LW - 257;
    for (int j = 0; j < H; ++j) {
        const long long e = std::max(0LL, fl((ys[H - 1 - j] / s - 0.5) * 256.0));
        const long long fy = e % 256;
        const long long r1 = std::max(0LL, LH - 1 - e / 256);
        const long long r2 = std::max(0LL, r1 - 1);
        for (int i = 0; i < W; ++i) {
            const long long fx = col[i] % 256, ix = col[i] / 256;
            int v[3] = {0, 0, 0};
            for (int ch = 0; ch < channels; ++ch) {
                auto P = [&](long long r, long long c) { return L.at(ch, int(c), int(r)); };
                const long long lower = P(r1, ix) * (256 - fx) + (fx ? P(r1, ix + 1) * fx : 0);
                const long long upper = P(r2, ix) * (256 - fx) + (fx ? P(r2, ix + 1) * fx : 0);
                v[ch] = static_cast<int>((lower * (256 - fy) + upper * fy) >> 16);
            }
            out[size_t(j) * W + i] = colour_of(layers, L, v[0], v[1], v[2]);
        }
    }
    return out;
}

std::vector<std::uint32_t> surface_rect(const QDC& dc, int x, int y, int w, int h) {
    std::vector<std::uint32_t> out;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) out.push_back(dc.GetPixel(x + i, y + j));
    return out;
}

}  // namespace tarvel_test
