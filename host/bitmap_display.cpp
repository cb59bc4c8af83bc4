// CBitmapWindows::DisplayBitmap: fills the DIB from the owner's region reads
// with nearest sampling, through the shared DIB row conversion, and blits it
// onto the device.
#include <algorithm>
#include <cmath>
#include <vector>

#include "display/dib_rows.h"
#include "host/bitmap.h"
#include "host/image.h"
#include "host/qdc.h"
#include "platform/platform.h"

namespace KORBAS {

namespace {

// A sample position in layer-0 pixels as an index inside 0 .. size - 1.
int clamp_index(double v, unsigned size) {
    if (!(v > 0.0)) return 0;  // also NaN
    if (v >= static_cast<double>(size)) return static_cast<int>(size) - 1;
    return static_cast<int>(std::floor(v));
}

}  // namespace

void CBitmapWindows::DisplayBitmap(QDC& dc, int x1, int y1, int x2, int y2, double d1, double d2,
                                   double d3, double d4) {
    if (!m_pImage) return;
    const long long wide = static_cast<long long>(x2) - x1 + 1;
    const long long high = static_cast<long long>(y1) - y2 + 1;
    const unsigned iw = m_pImage->getWidth(), ih = m_pImage->getHeight();
    if (wide < 1 || high < 1 || wide > 0x7fffffff || high > 0x7fffffff || iw == 0 || ih == 0)
        return;
    const int W = static_cast<int>(wide), H = static_cast<int>(high);
    const bool grey = m_pImage->getBPP() == 1;

    const bool reuse = getDibWidth() == static_cast<unsigned>(W) &&
                       getDibHeight() == static_cast<unsigned>(H) &&
                       getDibBitCount() == (grey ? 8 : 24);
    if (!reuse) {
        if (!allocDIB(W, H, 1, grey ? 8 : 24, grey ? 256 : 0, kBiRgb)) return;
        m_pInfoHeader->biHeight = -H;  // top-down: row 0 is the top
        if (grey) {
            tarvel::PutColourTable(getColorTable(), nullptr);
            createPalette();
        }
    }

    // The same sampling as the library's own bitmaps: column i samples
    // x = d1 + i * sx, the DIB row H - 1 - j samples y = d2 + j * sy, and image
    // y grows upward while image rows are numbered from the top. Columns are
    // kept relative to the first one read.
    const double sx = W > 1 ? (d3 - d1) / (W - 1) : 0.0;
    const double sy = H > 1 ? (d4 - d2) / (H - 1) : 0.0;
    std::vector<int> column(static_cast<std::size_t>(W));
    for (int i = 0; i < W; ++i) column[i] = clamp_index(d1 + i * sx, iw);
    const int c0 = *std::min_element(column.begin(), column.end());
    const int c1 = *std::max_element(column.begin(), column.end());
    for (int& c : column) c -= c0;
    const std::size_t span = static_cast<std::size_t>(c1 - c0 + 1);
    const int channels = grey ? 1 : 3;
    std::vector<unsigned char> planes(span * channels);
    tarvel::dib_source source{{planes.data(), planes.data() + span, planes.data() + 2 * span},
                              channels};

    const std::size_t stride = getStride();
    for (int j = 0; j < H; ++j) {
        const int y = clamp_index(d2 + (H - 1 - j) * sy, ih);
        const int r = static_cast<int>(ih) - 1 - y;
        for (int c = 0; c < channels; ++c)
            m_pImage->GetRegion(0, c0, r, c1, r, c, planes.data() + c * span);
        tarvel::PutDibRow(source, column.data(), W, m_pBits + stride * static_cast<std::size_t>(j));
    }

    if (m_hPalette) {
        SelectPalette(dc.GetHDC(), m_hPalette, 0);
        RealizePalette(dc.GetHDC());
    }
    SetDIBitsToDevice(dc.GetHDC(), x1, y2, static_cast<DWORD>(W), static_cast<DWORD>(H), 0, 0, 0,
                      static_cast<UINT>(H), m_pBits, m_pBitmapInfo, kDibRgbColors);
}

}  // namespace KORBAS
