// The resampler classes: the recording base and the bilinear resampler's kernel choice.
#include <algorithm>
#include <climits>
#include <cstring>

#include "host/host.h"
#include "pyramid/resampler.h"

namespace tarvel {

namespace {

enum class kernel { copy, halve, bilinear, wide };

kernel choose_kernel(int srcWidth, int srcHeight, int width, int height) {
    if (width == srcWidth && height == srcHeight) return kernel::copy;
    if (srcWidth / 2 == width && srcHeight / 2 == height) return kernel::halve;
    const long long w = srcWidth;
    const long long h = srcHeight;
    if (w * w < kBilinearSquaredLimit && h * h < kBilinearSquaredLimit) return kernel::bilinear;
    return kernel::wide;
}

}  // namespace

void CImageResampler::SetSource(image* source, int x, int y, int width, int height) {
    m_source = source;
    m_srcX = x;
    m_srcY = y;
    m_srcWidth = width;
    m_srcHeight = height;
}

void CImageResampler::SetDestination(image* destination, int x, int y, int width, int height) {
    m_destination = destination;
    m_dstX = x;
    m_dstY = y;
    m_dstWidth = width;
    m_dstHeight = height;
}

bool CImageResampler::Execute(KORBAS::IProgressWork*) {
    return false;
}

bool CImageResampler_bilinear::Execute(KORBAS::IProgressWork* progress) {
    if (m_source == nullptr || !m_source->IsValid() || m_destination == nullptr ||
        m_destination == m_source) {
        return false;
    }
    image& src = *m_source;
    image& dst = *m_destination;
    if (!dst.Create(src.GetType(), m_dstWidth, m_dstHeight, src.GetMode())) return false;
    if (src.GetType() == 2) std::memcpy(dst.GetPalette(), src.GetPalette(), kPaletteBytes);

    const kernel k = choose_kernel(m_srcWidth, m_srcHeight, m_dstWidth, m_dstHeight);
    const int channels = dst.GetType() == 3 ? 3 : 1;
    if (progress != nullptr) {
        const long long total = static_cast<long long>(channels) * m_dstHeight;
        progress->SetTotal(total > INT_MAX ? INT_MAX : static_cast<int>(total));
    }
    // The source iterators start at the rectangle's first row (inside the
    // plane): binding them at the plane's start would fetch a page that a
    // rectangle further down never reads.
    const long long first = std::min<long long>(std::max(m_srcY, 0), src.GetHeight() - 1);
    const int firstOffset = static_cast<int>(first * src.GetWidth());
    for (int c = 0; c < channels; ++c) {
        image::pointer out(&dst, c, 0);
        const resample_source in{image::ipointer(&src, c, firstOffset), src.GetWidth(),
                                 src.GetHeight()};
        switch (k) {
            case kernel::copy:
                ResampleCopy(out, m_dstWidth, m_dstHeight, in, m_srcX, m_srcY, m_srcWidth,
                             m_srcHeight);
                break;
            case kernel::halve:
                ResampleHalve(out, m_dstWidth, m_dstHeight, in, m_srcX, m_srcY, m_srcWidth,
                              m_srcHeight, progress);
                break;
            case kernel::bilinear:
                ResampleBilinear(out, m_dstWidth, m_dstHeight, in, m_srcX, m_srcY, m_srcWidth,
                                 m_srcHeight, progress);
                break;
            case kernel::wide:
                ResampleBilinearWide(out, m_dstWidth, m_dstHeight, in, m_srcX, m_srcY, m_srcWidth,
                                     m_srcHeight, progress);
                break;
        }
    }
    return true;
}

}  // namespace tarvel
