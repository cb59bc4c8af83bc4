// CBitmapViewWindows: the skip test, the layer choice, the DIB and its index
// tables, and the blit shared by the pyramid bitmaps.
#include <climits>
#include <cmath>

#include "display/display.h"
#include "host/qdc.h"
#include "platform/platform.h"

namespace tarvel {

namespace {

// A sample position as an int: saturated at the ends of the range, floored
// inside it; a position that is not a number counts as 0.
int to_index(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(std::floor(v));
}

int clamp_int(long long v, int lo, int hi) {
    return static_cast<int>(v < lo ? lo : (v > hi ? hi : v));
}

}  // namespace

CBitmapViewWindows::CBitmapViewWindows(KORBAS::CImage* owner)
    : CBitmapWindows(owner),
      m_layer(0),
      m_x1(-1),
      m_y1(-1),
      m_x2(-2),
      m_y2(-2),
      m_dibWidth(-1),
      m_dibHeight(-1),
      m_d1(0.0),
      m_d2(0.0),
      m_d3(0.0),
      m_d4(0.0),
      m_smoothing(-1),
      m_fillCount(0) {}

CBitmapViewWindows::~CBitmapViewWindows() = default;

unsigned CBitmapViewWindows::getWidth() const {
    return m_pImage ? m_pImage->getWidth() : 0;
}

unsigned CBitmapViewWindows::getHeight() const {
    return m_pImage ? m_pImage->getHeight() : 0;
}

unsigned short CBitmapViewWindows::getBPP() const {
    return m_pImage ? m_pImage->getBPP() : 0;
}

void CBitmapViewWindows::FillBitmap(int x1, int y1, int x2, int y2, double d1, double d2, double d3,
                                    double d4) {
    const long long wide = static_cast<long long>(x2) - x1 + 1;
    const long long high = static_cast<long long>(y1) - y2 + 1;
    if (wide < 1 || high < 1 || wide > INT_MAX || high > INT_MAX || layerCount() < 1) return;
    const int W = static_cast<int>(wide), H = static_cast<int>(high);

    // Skip test: the DIB already holds this picture.
    const int smoothing = m_pImage ? m_pImage->getSmoothing() : 0;
    if (x1 == m_x1 && y1 == m_y1 && x2 == m_x2 && y2 == m_y2 && d1 == m_d1 && d2 == m_d2 &&
        d3 == m_d3 && d4 == m_d4 && smoothing == m_smoothing && !sourceChanged())
        return;

    // Layer choice by the reduction along the more reduced direction. A
    // rectangle one pixel across spans its window's extent in one step.
    const double sx = (d3 - d1) / (W > 1 ? W - 1 : 1);
    const double sy = (d4 - d2) / (H > 1 ? H - 1 : 1);
    const double f = sx < sy ? sy : sx;
    const int layer = f > 1.0 ? layerForReduction(to_index(f)) : 0;
    useLayer(layer);
    m_layer = layer;
    m_x1 = x1, m_y1 = y1, m_x2 = x2, m_y2 = y2;
    m_d1 = d1, m_d2 = d2, m_d3 = d3, m_d4 = d4;
    m_smoothing = smoothing;
    storeSourceState();

    if (!m_pInfoHeader || m_dibWidth != W || m_dibHeight != H) {
        m_dibWidth = W;
        m_dibHeight = H;
        m_column.assign(static_cast<std::size_t>(W), 0);
        m_row.assign(static_cast<std::size_t>(H), 0);
        const int type = firstLayerType();
        bool made = false;
        if (type == 1 || type == 2) {
            made = allocDIB(W, H, 1, 8, 256, kBiRgb);
            if (made) PutColourTable(getColorTable(), type == 2 ? firstLayerPalette() : nullptr);
        } else if (type == 3) {
            made = allocDIB(W, H, 1, 24, 0, kBiRgb);
        } else {
            freeDIB();
        }
        if (!made) {
            m_x1 = m_y1 = -1;  // no picture: the next call tries again
            m_x2 = m_y2 = -2;
            return;
        }
        m_pInfoHeader->biHeight = -H;  // top-down: the first row is the top
        createPalette();
    }
    FillIndexes(layer, smoothing, W, d1, sx, H, d2, sy);
    fillPixels(smoothing != 0);
    ++m_fillCount;
}

void CBitmapViewWindows::FillIndexes(int layer, int smoothing, int width, double x0, double sx,
                                     int height, double y0, double sy) {
    m_column.resize(static_cast<std::size_t>(width));
    m_row.resize(static_cast<std::size_t>(height));
    const double s = std::ldexp(1.0, layer);
    const int LW = static_cast<int>(m_pImage->GetLayerWidth(layer));
    const int LH = static_cast<int>(m_pImage->GetLayerHeight(layer));
    double x = x0, y = y0;
    if (smoothing == 0) {
        for (int i = 0; i < width; ++i, x += sx)
            m_column[i] = clamp_int(to_index(x / s), 0, LW - 1);
        for (int j = 0; j < height; ++j, y += sy)
            m_row[height - 1 - j] = clamp_int(LH - 1LL - to_index(y / s), 0, LH - 1);
        return;
    }
    // Eight fraction bits, half a pixel back, so that samples interpolate
    // between pixel centres; the smooth fill flips the rows itself.
    for (int i = 0; i < width; ++i, x += sx) {
        const int v = to_index((x / s - 0.5) * 256.0);
        m_column[i] = v < 0 ? 0 : v;
    }
    for (int j = 0; j < height; ++j, y += sy) {
        const int v = to_index((y / s - 0.5) * 256.0);
        m_row[height - 1 - j] = v < 0 ? 0 : v;
    }
    // Past the right edge: the last pixel with 255/256 and the one before with 1/256.
    const long long lastColumn = 256LL * (LW - 1);
    const int beyond = clamp_int(256LL * LW - 257, INT_MIN, INT_MAX);
    for (int i = width - 1; i >= 0 && m_column[i] > lastColumn; --i) m_column[i] = beyond;
}

void CBitmapViewWindows::DisplayBitmap(QDC& dc, int x1, int y1, int x2, int y2, double d1,
                                       double d2, double d3, double d4) {
    FillBitmap(x1, y1, x2, y2, d1, d2, d3, d4);
    const long long wide = static_cast<long long>(x2) - x1 + 1;
    const long long high = static_cast<long long>(y1) - y2 + 1;
    if (!m_pBits || m_pInfoHeader->biWidth != wide || -m_pInfoHeader->biHeight != high) return;
    HDC hdc = dc.GetHDC();
    if (m_hPalette) {
        SelectPalette(hdc, m_hPalette, 0);
        RealizePalette(hdc);
    }
    SetDIBitsToDevice(hdc, x1, y2, static_cast<DWORD>(wide), static_cast<DWORD>(high), 0, 0, 0,
                      static_cast<UINT>(high), m_pBits, m_pBitmapInfo, kDibRgbColors);
}

bool CBitmapViewWindows::FillView(int width, int height, const view_window& window) {
    if (width < 1 || height < 1) return false;
    FillBitmap(0, height - 1, width - 1, 0, window.d1, window.d2, window.d3, window.d4);
    return m_pBits && m_pInfoHeader->biWidth == width && -m_pInfoHeader->biHeight == height &&
           m_x1 == 0 && m_y2 == 0 && m_x2 == width - 1 && m_y1 == height - 1;
}

}  // namespace tarvel
