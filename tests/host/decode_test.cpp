// The DIB: allocation, and decoding of files written by the reference
// libraries (and BMP files built byte by byte) to the expected DIB bytes and layout.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "host/bitmap.h"
#include "image/test_access.h"
#include "writers.h"

using namespace tarvel_test;

namespace {

bytes pattern(std::size_t n, unsigned seed) {
    bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>((i * 37 + seed * 11) ^ (i >> 3));
    return b;
}

// Samples as DIB pixels: the first three of each pixel reversed (RGB to BGR).
bytes toBgr(bytes b, int channels) {
    for (std::size_t i = 0; i + channels <= b.size(); i += channels) std::swap(b[i], b[i + 2]);
    return b;
}

// The grey ramp's colour table: red, green, blue of each level.
bytes ramp() {
    bytes t(768);
    for (int i = 0; i < 768; ++i) t[i] = static_cast<std::uint8_t>(i / 3);
    return t;
}

// Exposes the protected allocation.
class Dib : public KORBAS::CBitmapWindows {
  public:
    Dib() : CBitmapWindows(nullptr) {}
    using CBitmapWindows::allocDIB;
};

struct Case {
    std::string file;
    unsigned width, height, bpp;
    bytes want;   // DIB pixels from the top row, without padding
    bytes table;  // expected colour table: red, green, blue an entry
    int tolerance = 0;
};

}  // namespace

// Every file is presented bottom-up (positive height, negative scan-line
// offset, top row last in memory): 8 bits and a table for grey and palette
// files, 24 for colour, with transparent parts over white.
TEST(Decode, FilesOfEveryKindGiveTheExpectedDib) {
    scratch_dir dir;
    std::vector<Case> cases;
    const auto file = [&](const std::string& name) { return dir.file_path(name); };

    // PNG, 5 x 3; 16-bit samples are big-endian and round to 8 bits.
    const bytes g8 = pattern(15, 1), rgb = pattern(45, 2),
                palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    bytes s16, r16;
    for (int i = 0; i < 60; ++i) {
        const unsigned v = (i * 9001 + 77) % 65536;
        s16.insert(s16.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        r16.push_back(static_cast<std::uint8_t>(std::lround(v / 257.0)));
    }
    // Each colour sample c of opacity a over white: c a / 255 + 255 (1 - a / 255).
    bytes over;
    for (int p = 0; p < 15; ++p) {
        const double a = r16[4 * p + 3] / 255.0;
        for (int c = 0; c < 3; ++c)
            over.push_back(
                static_cast<std::uint8_t>(std::lround(r16[4 * p + c] * a + 255 * (1 - a))));
    }
    writePng(file("g8.png"), 5, 3, PNG_COLOR_TYPE_GRAY, 8, g8);
    writePng(file("p4.png"), 5, 3, PNG_COLOR_TYPE_PALETTE, 4,
             {0x01, 0x20, 0x10, 0x22, 0x11, 0x00, 0x02, 0x10, 0x20}, palette);
    writePng(file("rgb.png"), 5, 3, PNG_COLOR_TYPE_RGB, 8, rgb);
    writePng(file("rgba16.png"), 5, 3, PNG_COLOR_TYPE_RGB_ALPHA, 16, s16);
    cases.push_back({"g8.png", 5, 3, 8, g8, ramp()});
    cases.push_back({"p4.png", 5, 3, 8, {0, 1, 2, 0, 1, 2, 2, 1, 1, 0, 0, 2, 1, 0, 2}, palette});
    cases.push_back({"rgb.png", 5, 3, 24, toBgr(rgb, 3), {}});
    cases.push_back({"rgba16.png", 5, 3, 24, toBgr(over, 3), {}});

    // JPEG, 32 x 16, smooth pictures so that little is lost.
    bytes jg(32 * 16), jc(32 * 16 * 3);
    for (int i = 0; i < 32 * 16 * 3; ++i) {
        jc[i] = static_cast<std::uint8_t>(i % 3 * 50 + i / 3 % 32 * 3 + i / 96 * 2);
        if (i % 3 == 0) jg[i / 3] = jc[i];
    }
    writeJpeg(file("g.jpg"), 32, 16, 1, jg);
    writeJpeg(file("c.jpg"), 32, 16, 3, jc);
    cases.push_back({"g.jpg", 32, 16, 8, jg, ramp(), 4});
    cases.push_back({"c.jpg", 32, 16, 24, toBgr(jc, 3), {}, 6});

    // TIFF, 20 x 18: LZW strips, and 16 x 16 tiles with partial ones at the right and bottom.
    const bytes tg = pattern(20 * 18, 4), trgb = pattern(3 * 20 * 18, 7);
    writeTiff(file("g.tif"), {20, 18, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW}, tg);
    writeTiff(file("t.tif"), {20, 18, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 16}, trgb);
    cases.push_back({"g.tif", 20, 18, 8, tg, ramp()});
    cases.push_back({"t.tif", 20, 18, 24, toBgr(trgb, 3), {}});

    // BMP, 3 x 2, both row orders.
    const auto rgbPixel = [](int c, int x, int y) { return std::uint8_t(3 * x + 9 * y + 1 + c); };
    write_bytes(file("up.bmp"), make_bmp24({24, 3, 2}, rgbPixel));
    write_bytes(file("down.bmp"), make_bmp24({24, 3, -2}, rgbPixel));
    const bytes bmpWant = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16};
    cases.push_back({"up.bmp", 3, 2, 24, bmpWant, {}});
    cases.push_back({"down.bmp", 3, 2, 24, bmpWant, {}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        KORBAS::CBitmapWindows dib(nullptr, file(c.file).c_str(), true);
        ASSERT_EQ(std::make_tuple(dib.getWidth(), dib.getHeight(), unsigned(dib.getBPP())),
                  std::make_tuple(c.width, c.height, c.bpp));
        const int stride = static_cast<int>((c.width * c.bpp + 31) / 32 * 4);
        EXPECT_EQ(dib.getScanLineOffset(), -stride);
        EXPECT_EQ(dib.getBeginImage(), dib.m_pBits + std::size_t(stride) * (c.height - 1));
        const bytes got = picture(dib);
        ASSERT_EQ(got.size(), c.want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_NEAR(got[i], c.want[i], c.tolerance) << "byte " << i;
        bytes table;
        for (const RGBQUAD* q = dib.getColorTable(); table.size() < 3 * dib.getColorCount(); ++q)
            table.insert(table.end(), {q->rgbRed, q->rgbGreen, q->rgbBlue});
        EXPECT_EQ(table, c.table);
    }
}

TEST(Dib, AllocRowsAlignedToFourBytesAndRefusesWhatItCannotHold) {
    Dib dib;
    ASSERT_TRUE(dib.allocDIB(5, 3, 1, 8, 256, 0));
    EXPECT_EQ(dib.m_pInfoHeader->biSizeImage, 24u);
    ASSERT_TRUE(dib.allocDIB(5, 3, 1, 24, 0, 0));
    EXPECT_EQ(dib.getScanLineOffset(), -16);
    dib.m_pInfoHeader->biHeight = -3;  // what the library does to draw top-down
    EXPECT_EQ(dib.getScanLineOffset(), 16);
    EXPECT_EQ(dib.getBeginImage(), dib.m_pBits);
    EXPECT_FALSE(dib.allocDIB(0, 3, 1, 8, 256, 0));
    EXPECT_EQ(dib.m_pInfoHeader, nullptr);  // a failed call leaves no DIB
    EXPECT_FALSE(dib.allocDIB(5, 3, 2, 8, 256, 0));
    EXPECT_FALSE(dib.allocDIB(5, 3, 1, 16, 0, 0));
    EXPECT_FALSE(dib.allocDIB(5, 3, 1, 8, 257, 0));
    EXPECT_FALSE(dib.allocDIB(65536, 32768, 1, 8, 0, 0));  // exactly 2^31 bytes
}
