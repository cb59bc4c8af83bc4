// The DIB: allocation, and decoding round trips of files written by the
// reference libraries (and BMP files built byte by byte) to the expected DIB
// bytes and layout.
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

// n 16-bit samples, big-endian as PNG stores them, and their 8-bit roundings.
void sixteen(int n, unsigned step, bytes& samples, bytes& rounded) {
    for (int i = 0; i < n; ++i) {
        const unsigned v = (i * step + 77) % 65536;
        samples.insert(samples.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        rounded.push_back(static_cast<std::uint8_t>(std::lround(v / 257.0)));
    }
}

// The grey ramp's colour table: red, green, blue of each level.
bytes ramp() {
    bytes t(768);
    for (int i = 0; i < 768; ++i) t[i] = static_cast<std::uint8_t>(i / 3);
    return t;
}

// Exposes the protected DIB operations.
class Dib : public KORBAS::CBitmapWindows {
  public:
    Dib() : CBitmapWindows(nullptr) {}
    using CBitmapWindows::allocDIB;
    using CBitmapWindows::createPalette;
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
// files, 24 for colour, 32 with alpha.
TEST(Decode, FilesOfEveryKindGiveTheExpectedDib) {
    scratch_dir dir;
    std::vector<Case> cases;
    const auto file = [&](const char* name) { return dir.file_path(name); };

    // PNG, 5 x 3.
    const auto png = [&](const char* name, int type, int depth, const bytes& samples, unsigned bpp,
                         const bytes& want, const bytes& table, const bytes& colours = {},
                         bool interlaced = false) {
        writePng(file(name), 5, 3, type, depth, samples, colours, interlaced);
        cases.push_back({name, 5, 3, bpp, want, table});
    };
    const bytes g8 = pattern(15, 1), rgb = pattern(45, 2);
    bytes s16, r16, s64, r64;
    sixteen(15, 4099, s16, r16);
    sixteen(60, 9001, s64, r64);
    png("g8.png", PNG_COLOR_TYPE_GRAY, 8, g8, 8, g8, ramp());
    png("g16.png", PNG_COLOR_TYPE_GRAY, 16, s16, 8, r16, ramp());
    png("g1.png", PNG_COLOR_TYPE_GRAY, 1, {0xA8, 0x50, 0xF8}, 8,  // 1 bit: 0 or 255
        {255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 255, 255, 255, 255}, ramp());
    const bytes palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    png("p4.png", PNG_COLOR_TYPE_PALETTE, 4, {0x01, 0x20, 0x10, 0x22, 0x11, 0x00, 0x02, 0x10, 0x20},
        8, {0, 1, 2, 0, 1, 2, 2, 1, 1, 0, 0, 2, 1, 0, 2}, palette, palette);
    png("rgb.png", PNG_COLOR_TYPE_RGB, 8, rgb, 24, toBgr(rgb, 3), {});
    png("rgbi.png", PNG_COLOR_TYPE_RGB, 8, rgb, 24, toBgr(rgb, 3), {}, {}, true);
    png("rgba16.png", PNG_COLOR_TYPE_RGB_ALPHA, 16, s64, 32, toBgr(r64, 4), {});

    // JPEG, 32 x 16, smooth pictures so that little is lost.
    bytes jg(32 * 16), jc(32 * 16 * 3);
    for (int i = 0; i < 32 * 16; ++i) {
        const int x = i % 32, y = i / 32;
        jg[i] = static_cast<std::uint8_t>(x * 6 + y * 2);
        jc[3 * i] = static_cast<std::uint8_t>(200 - 4 * y);
        jc[3 * i + 1] = static_cast<std::uint8_t>(60 + 3 * x);
        jc[3 * i + 2] = 30;
    }
    writeJpeg(file("g.jpg"), 32, 16, 1, jg);
    writeJpeg(file("c.jpg"), 32, 16, 3, jc);
    cases.push_back({"g.jpg", 32, 16, 8, jg, ramp(), 4});
    cases.push_back({"c.jpg", 32, 16, 24, toBgr(jc, 3), {}, 6});

    // TIFF, 20 x 18: strips, 16 x 16 tiles with partial ones at the right and bottom.
    const int n = 20 * 18;
    const bytes tg = pattern(n, 4), tp = pattern(n, 6), trgb = pattern(3 * n, 7),
                ta = pattern(4 * n, 8), tk = pattern(4 * n, 9);
    writeTiff(file("g.tif"), {20, 18, 1, PHOTOMETRIC_MINISBLACK, 8, COMPRESSION_LZW}, tg);
    cases.push_back({"g.tif", 20, 18, 8, tg, ramp()});
    TiffRecipe pal{20, 18, 1, PHOTOMETRIC_PALETTE};
    pal.colourMap.assign(3 * 256, 0);
    pal.colourMap[5] = 0xffff, pal.colourMap[256 + 5] = 0x8080, pal.colourMap[512 + 7] = 0x3030;
    writeTiff(file("p.tif"), pal, tp);
    bytes palTable(768, 0);
    palTable[15] = 255, palTable[16] = 0x80, palTable[23] = 0x30;  // 16 bits to 8
    cases.push_back({"p.tif", 20, 18, 8, tp, palTable});
    writeTiff(file("t.tif"), {20, 18, 3, PHOTOMETRIC_RGB, 8, 1, 16}, trgb);
    cases.push_back({"t.tif", 20, 18, 24, toBgr(trgb, 3), {}});
    writeTiff(file("a.tif"), {20, 18, 4, PHOTOMETRIC_RGB, 8, 1, 0, true}, ta);
    cases.push_back({"a.tif", 20, 18, 32, toBgr(ta, 4), {}});
    writeTiff(file("k.tif"), {20, 18, 4, PHOTOMETRIC_SEPARATED, 8, 1, 16}, tk);
    bytes cmyk;  // R = (255 - C)(255 - K) / 255, stored blue first
    for (int i = 0; i < n; ++i)
        for (int c : {2, 1, 0})
            cmyk.push_back(
                static_cast<std::uint8_t>((255 - tk[4 * i + 3]) * (255 - tk[4 * i + c]) / 255));
    cases.push_back({"k.tif", 20, 18, 24, cmyk, {}});

    // BMP, 3 x 2, both row orders; the 8-bit recipe also carries packed 4- and 1-bit rows.
    const auto rgbPixel = [](int x, int y, std::uint8_t c[3]) {
        c[0] = std::uint8_t(3 * x + 9 * y + 1), c[1] = std::uint8_t(c[0] + 1),
        c[2] = std::uint8_t(c[0] + 2);
    };
    write_bytes(file("up.bmp"), make_bmp24({24, 3, 2}, rgbPixel));
    write_bytes(file("down.bmp"), make_bmp24({24, 3, -2}, rgbPixel));
    const bytes bmpWant = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16};
    cases.push_back({"up.bmp", 3, 2, 24, bmpWant, {}});
    cases.push_back({"down.bmp", 3, 2, 24, bmpWant, {}});
    // The 8-bit recipe carries rows of other depths too: the header is then
    // patched to the real width and depth.
    const auto bmp8 = [&](const char* name, int width, int bits, bmp_recipe r, const bytes& rows,
                          const bytes& colours = test_palette()) {
        bytes f = make_bmp8(
            r, [&](int x, int y) { return rows[y * r.width + x]; }, colours);
        f[18] = std::uint8_t(width), f[28] = std::uint8_t(bits);
        write_bytes(file(name), f);
    };
    const bytes entries = test_palette(16), table16(entries.begin(), entries.begin() + 48);
    bmp8("p8.bmp", 3, 8, {8, 3, 2, 0, 16, 16}, {0, 1, 2, 5, 6, 7});
    cases.push_back({"p8.bmp", 3, 2, 8, {0, 1, 2, 5, 6, 7}, table16});
    bmp8("p4.bmp", 2, 4, {8, 1, 2, 0, 16, 16}, {0x12, 0x3f});  // high nibble first
    cases.push_back({"p4.bmp", 2, 2, 8, {1, 2, 3, 15}, table16});
    bmp8("p1.bmp", 3, 1, {8, 1, 2, 0, 2, 2}, {0xa0, 0x40});  // most significant bit first
    cases.push_back({"p1.bmp", 3, 2, 8, {1, 0, 1, 0, 1, 0}, bytes(&entries[0], &entries[6])});
    // 16 bits 5-6-5 through bit fields, the three masks where the table would be: red, green.
    bmp8("c16.bmp", 2, 16, {8, 4, 1, 3, 3}, {0x00, 0xf8, 0xe0, 0x07},
         {0, 0xf8, 0, 0, 0x07, 0xe0, 0, 0, 0x1f});
    cases.push_back({"c16.bmp", 2, 1, 24, {0, 0, 255, 0, 255, 0}, {}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        KORBAS::CBitmapWindows dib(nullptr, file(c.file.c_str()).c_str(), true);
        ASSERT_EQ(dib.getWidth(), c.width);
        ASSERT_EQ(dib.getHeight(), c.height);
        ASSERT_EQ(dib.getBPP(), c.bpp);
        const int stride = static_cast<int>((c.width * c.bpp + 31) / 32 * 4);
        EXPECT_EQ(dib.getScanLineOffset(), -stride);
        EXPECT_GT(dib.m_pInfoHeader->biHeight, 0);
        EXPECT_EQ(dib.getBeginImage(), dib.m_pBits + std::size_t(stride) * (c.height - 1));
        const bytes got = picture(dib);
        ASSERT_EQ(got.size(), c.want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_NEAR(got[i], c.want[i], c.tolerance) << "byte " << i;
        if (c.bpp >= 24) {  // the first pixel is stored blue, green, red
            EXPECT_EQ(*dib.getBeginImageRed(), got[2]);
            EXPECT_EQ(dib.getStepColor(), int(c.bpp / 8));
        }
        bytes table;
        for (unsigned i = 0; i < dib.getColorCount(); ++i) {
            const RGBQUAD q = dib.getColorTable()[i];
            table.insert(table.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
        }
        EXPECT_EQ(table, c.table);
        // The header alone knows the size, depth and colours but holds no pixels.
        KORBAS::CBitmapWindows head(nullptr, file(c.file.c_str()).c_str(), false);
        EXPECT_EQ(
            std::make_tuple(head.getWidth(), head.getHeight(), head.getBPP(), head.getColorCount()),
            std::make_tuple(c.width, c.height, static_cast<unsigned short>(c.bpp),
                            dib.getColorCount()));
        EXPECT_EQ(head.m_pBits, nullptr);
    }
}

TEST(Dib, AllocRowsAlignedToFourBytesAndRefusesWhatItCannotHold) {
    Dib dib;
    ASSERT_TRUE(dib.allocDIB(5, 3, 1, 8, 256, 0));
    EXPECT_EQ(dib.getStride(), 8u);
    EXPECT_EQ(dib.m_pInfoHeader->biSizeImage, 24u);
    ASSERT_TRUE(dib.allocDIB(5, 3, 1, 24, 0, 0));
    EXPECT_EQ(dib.getStride(), 16u);
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
    EXPECT_EQ(dib.m_pBits, nullptr);
    EXPECT_FALSE(dib.createPalette());
}
