// DIB allocation and the default display through an owner's region reads.
#include <gtest/gtest.h>

#include "host/bitmap.h"
#include "host/image.h"
#include "host/qdc.h"

namespace {

// Exposes the protected DIB operations.
class Dib : public KORBAS::CBitmapWindows {
  public:
    explicit Dib(KORBAS::CImage* owner = nullptr) : CBitmapWindows(owner) {}
    using CBitmapWindows::allocDIB;
    using CBitmapWindows::createPalette;
};

// An image whose pixel (x, y) is x + 10 y in red, 100 + that in green, 200 in blue.
class Pattern : public KORBAS::CImage {
  public:
    Pattern(unsigned w, unsigned h, unsigned short bpp) : m_w(w), m_h(h), m_bpp(bpp) {}
    int getClass() const override { return 0; }
    unsigned getWidth() const override { return m_w; }
    unsigned getHeight() const override { return m_h; }
    unsigned short getBPP() const override { return m_bpp; }
    KORBAS::CBitmap* createBitmap() override { return new Dib(this); }
    void destroyBitmap(KORBAS::CBitmap* b) override { delete b; }
    void set(KORBAS::CBitmap*) override {}
    void flush() override {}
    void GetRegion(int, int x0, int y0, int x1, int y1, int, unsigned char* out) override {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) *out++ = static_cast<unsigned char>(x + 10 * y);
    }
    void GetRegionRGB(int, int x0, int y0, int x1, int y1, int* out) override {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                *out++ = (x + 10 * y) | (100 + x + 10 * y) << 8 | 200 << 16;
    }

  private:
    unsigned m_w, m_h;
    unsigned short m_bpp;
};

}  // namespace

TEST(Dib, AllocRowsAlignedToFourBytesAndRefusesWhatItCannotHold) {
    Dib dib;
    ASSERT_TRUE(dib.allocDIB(5, 3, 1, 8, 256, 0));
    EXPECT_EQ(dib.getStride(), 8u);
    EXPECT_EQ(dib.m_pInfoHeader->biSizeImage, 24u);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(dib.getColorTable()),
              reinterpret_cast<unsigned char*>(dib.m_pInfoHeader) + 40);
    ASSERT_TRUE(dib.allocDIB(5, 3, 1, 24, 0, 0));
    EXPECT_EQ(dib.getStride(), 16u);
    EXPECT_EQ(dib.getColorCount(), 0u);
    EXPECT_EQ(dib.getScanLineOffset(), -16);
    dib.m_pInfoHeader->biHeight = -3;  // what the library does to draw top-down
    EXPECT_EQ(dib.getScanLineOffset(), 16);
    EXPECT_EQ(dib.getBeginImage(), dib.m_pBits);
    EXPECT_EQ(dib.getHeight(), 3u);

    EXPECT_FALSE(dib.allocDIB(0, 3, 1, 8, 256, 0));
    EXPECT_EQ(dib.m_pInfoHeader, nullptr);  // a failed call leaves no DIB
    EXPECT_FALSE(dib.allocDIB(5, 3, 2, 8, 256, 0));
    EXPECT_FALSE(dib.allocDIB(5, 3, 1, 16, 0, 0));
    EXPECT_FALSE(dib.allocDIB(5, 3, 1, 8, 257, 0));
    EXPECT_FALSE(dib.allocDIB(65536, 32768, 1, 8, 0, 0));  // exactly 2^31 bytes
    EXPECT_EQ(dib.m_pBits, nullptr);
    EXPECT_FALSE(dib.createPalette());
}

TEST(Dib, DefaultDisplayFillsThroughTheOwnersRegionReads) {
    for (unsigned short bpp : {1, 3}) {
        Pattern image(4, 4, bpp);
        Dib dib(&image);
        QDC dc(6, 6);
        // Device rectangle (1, 4) lower-left to (4, 1) upper-right, window 0..3 both ways: 1:1.
        dib.DisplayBitmap(dc, 1, 4, 4, 1, 0.0, 0.0, 3.0, 3.0);
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 6; ++x) {
                const bool inside = x >= 1 && x <= 4 && y >= 1 && y <= 4;
                const unsigned v = (x - 1) + 10 * (y - 1);
                const std::uint32_t want = !inside    ? 0xffffff
                                           : bpp == 1 ? v << 16 | v << 8 | v
                                                      : v << 16 | (100 + v) << 8 | 200;
                ASSERT_EQ(dc.GetPixel(x, y), want) << bpp << " at " << x << "," << y;
            }
        }
        EXPECT_EQ(dib.m_hPalette != nullptr, bpp == 1);
        // Half the resolution: every other pixel; the bottom device row is image row 3.
        QDC half(2, 2);
        dib.DisplayBitmap(half, 0, 1, 1, 0, 0.0, 0.0, 2.0, 2.0);
        EXPECT_EQ(half.GetPixel(1, 1) >> 16, 32u);  // (2, 3): y grows upward
    }
    // Without an owner nothing is drawn.
    Dib orphan;
    QDC dc(2, 2);
    orphan.DisplayBitmap(dc, 0, 1, 1, 0, 0.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(dc.GetPixel(0, 0), 0xffffffu);
}
