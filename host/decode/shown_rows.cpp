// ShownRows: transparent pixels over white and embedded colour profiles to
// sRGB, between a decoder and the sink that takes its picture.
#include "host/decode/shown_rows.h"

#include <lcms2.h>

#include <memory>
#include <new>

#include "host/bitmap.h"

namespace KORBAS {
namespace decode {

namespace {

// A colour sample of opacity a over the background: (c a + 255 (255 - a)) / 255, rounded.
inline unsigned char overStraight(unsigned c, unsigned a) {
    return static_cast<unsigned char>((c * a + kBackgroundLevel * (255 - a) + 127) / 255);
}

// A premultiplied colour sample over the background: c + 255 - a, at most 255.
inline unsigned char overPremultiplied(unsigned c, unsigned a) {
    const unsigned v = c + kBackgroundLevel - a;
    return static_cast<unsigned char>(v > 255 ? 255 : v);
}

// 32-bit blue-green-red-alpha pixels to 24-bit ones, each colour sample c of
// opacity a becoming over(c, a).
template <class Over>
void composite(const unsigned char* from, unsigned char* to, std::uint32_t width, Over over) {
    for (std::uint32_t x = 0; x < width; ++x, from += 4, to += 3) {
        to[0] = static_cast<unsigned char>(over(from[0], from[3]));
        to[1] = static_cast<unsigned char>(over(from[1], from[3]));
        to[2] = static_cast<unsigned char>(over(from[2], from[3]));
    }
}

struct profile_closer {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};

}  // namespace

ShownRows::~ShownRows() {
    if (m_transform) cmsDeleteTransform(m_transform);
    if (m_tableTransform) cmsDeleteTransform(m_tableTransform);
}

bool ShownRows::start(const PictureLayout& layout) noexcept {
    m_layout = layout;
    PictureLayout shown = layout;
    shown.alpha = Alpha::none;
    shown.profile = nullptr;
    shown.profileBytes = 0;
    if (layout.bitCount == 32) shown.bitCount = 24;

    if (layout.profile != nullptr && layout.profileBytes > 0) {
        const std::unique_ptr<void, profile_closer> in(cmsOpenProfileFromMem(
            layout.profile, static_cast<cmsUInt32Number>(layout.profileBytes)));
        const std::unique_ptr<void, profile_closer> srgb(cmsCreate_sRGBProfile());
        if (in && srgb) {
            const cmsColorSpaceSignature space = cmsGetColorSpace(in.get());
            if (space == cmsSigRgbData && layout.bitCount >= 24) {
                m_transform = cmsCreateTransform(in.get(), TYPE_BGR_8, srgb.get(), TYPE_BGR_8,
                                                 kShownIntent, 0);
            } else if (layout.bitCount == 8 &&
                       (space == cmsSigRgbData || space == cmsSigGrayData)) {
                m_greyTable = space == cmsSigGrayData;
                m_tableTransform =
                    cmsCreateTransform(in.get(), m_greyTable ? TYPE_GRAY_8 : TYPE_BGR_8, srgb.get(),
                                       TYPE_BGR_8, kShownIntent, 0);
            }
        }
    }
    if (!m_next.start(shown)) return false;

    // Rows are held here when they change size or colour on the way.
    m_ownRows = layout.bitCount == 32 || m_transform != nullptr;
    if (m_ownRows && m_next.wantsPixels()) {
        const std::size_t rows = layout.inOrder ? layout.bandRows : layout.height;
        const unsigned long long bytes = static_cast<unsigned long long>(rows) * layout.rowBytes();
        if (bytes > CBitmapWindows::GetDecodeLimit()) {
            m_reason = "the picture's rows need more than the decoding limit while they are shown";
            return false;
        }
        try {
            m_rows.resize(static_cast<std::size_t>(bytes));
        } catch (const std::bad_alloc&) {
            m_reason = "out of memory for the rows being shown";
            return false;
        }
    }
    return true;
}

bool ShownRows::wantsPixels() const noexcept {
    if (!m_coloursShown) {
        m_coloursShown = true;
        showColours();
    }
    return m_next.wantsPixels();
}

void ShownRows::showColours() const noexcept {
    if (m_layout.bitCount != 8 || m_layout.colours == 0) return;
    RGBQUAD* table = m_next.colours();
    const unsigned n = m_layout.colours < kMaxColourEntries ? m_layout.colours : kMaxColourEntries;
    if (m_layout.alpha != Alpha::none) {
        for (unsigned i = 0; i < n; ++i) {
            RGBQUAD& e = table[i];
            const unsigned a = e.rgbReserved;
            auto over = [&](BYTE c) {
                return m_layout.alpha == Alpha::straight ? overStraight(c, a)
                                                         : overPremultiplied(c, a);
            };
            e = RGBQUAD{over(e.rgbBlue), over(e.rgbGreen), over(e.rgbRed), 0};
        }
    }
    if (m_tableTransform) {
        unsigned char in[3 * kMaxColourEntries];
        unsigned char out[3 * kMaxColourEntries];
        for (unsigned i = 0; i < n; ++i) {
            if (m_greyTable) {  // one byte an entry
                in[i] = table[i].rgbGreen;
                continue;
            }
            in[3 * i] = table[i].rgbBlue;
            in[3 * i + 1] = table[i].rgbGreen;
            in[3 * i + 2] = table[i].rgbRed;
        }
        cmsDoTransform(m_tableTransform, in, out, n);
        for (unsigned i = 0; i < n; ++i)
            table[i] = RGBQUAD{out[3 * i], out[3 * i + 1], out[3 * i + 2], 0};
    }
}

unsigned char* ShownRows::row(std::uint32_t y) noexcept {
    if (!m_ownRows) return m_next.row(y);
    if (m_rows.empty()) return nullptr;
    const std::size_t at = m_layout.inOrder ? m_asked++ % m_layout.bandRows : y;
    return m_rows.data() + at * m_layout.rowBytes();
}

bool ShownRows::put(std::uint32_t y) noexcept {
    if (!m_ownRows || m_rows.empty()) return m_next.put(y);
    const std::size_t at = m_layout.inOrder ? m_put++ % m_layout.bandRows : y;
    unsigned char* to = m_next.row(y);
    if (to != nullptr) showRow(m_rows.data() + at * m_layout.rowBytes(), to);
    return m_next.put(y);
}

void ShownRows::showRow(unsigned char* from, unsigned char* to) const noexcept {
    const std::uint32_t width = m_layout.width;
    if (m_layout.bitCount == 32) {
        switch (m_layout.alpha) {
            case Alpha::none:
                composite(from, to, width, [](unsigned c, unsigned) { return c; });
                break;
            case Alpha::straight:
                composite(from, to, width, overStraight);
                break;
            case Alpha::premultiplied:
                composite(from, to, width, overPremultiplied);
                break;
        }
        from = to;  // the profile applies to the composited colours
    }
    if (m_transform) cmsDoTransform(m_transform, from, to, width);
}

const char* ShownRows::reason() const noexcept {
    return m_reason != nullptr ? m_reason : m_next.reason();
}

}  // namespace decode
}  // namespace KORBAS
