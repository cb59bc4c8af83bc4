// Decoding round trips: files written by the reference libraries (and BMP
// files built byte by byte) decode to the expected DIB bytes and layout.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "writers.h"

using hosttest::Bytes;
using KORBAS::CBitmapWindows;

namespace {

unsigned char round257(unsigned v) {
    return static_cast<unsigned char>(std::lround(v / 257.0));
}

// Checks the Windows presentation: bottom-up rows, top row last in memory.
void expectBottomUp(const CBitmapWindows& dib, unsigned width, unsigned height, unsigned bpp) {
    ASSERT_EQ(dib.getWidth(), width);
    ASSERT_EQ(dib.getHeight(), height);
    ASSERT_EQ(dib.getBPP(), bpp);
    const int stride = static_cast<int>((width * bpp + 31) / 32 * 4);
    EXPECT_EQ(dib.getScanLineOffset(), -stride);
    EXPECT_GT(dib.m_pInfoHeader->biHeight, 0);
    EXPECT_EQ(dib.getBeginImage(), dib.m_pBits + std::size_t(stride) * (height - 1));
    if (bpp >= 24) {
        EXPECT_EQ(dib.getBeginImageRed(), dib.getBeginImage() + 2);
        EXPECT_EQ(dib.getBeginImageGreen(), dib.getBeginImage() + 1);
        EXPECT_EQ(dib.getBeginImageBlue(), dib.getBeginImage());
        EXPECT_EQ(dib.getStepColor(), int(bpp / 8));
    }
}

// Samples as DIB pixels: reverse the first three of each pixel (RGB to BGR).
Bytes toBgr(const Bytes& rgb, int channels) {
    Bytes out = rgb;
    for (std::size_t i = 0; i + channels <= out.size(); i += channels)
        std::swap(out[i], out[i + 2]);
    return out;
}

Bytes pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>((i * 37 + seed * 11) ^ (i >> 3));
    return b;
}

}  // namespace

TEST(Decode, PngEveryColourTypeAndDepth) {
    hosttest::ScratchDir dir;
    const int w = 5, h = 3;
    {  // 8-bit grey: a colour table of 256 grey levels, bytes as written
        const Bytes grey = pattern(w * h, 1);
        hosttest::writePng(dir.file("g8.png"), w, h, PNG_COLOR_TYPE_GRAY, 8, grey);
        CBitmapWindows dib(nullptr, dir.file("g8.png").c_str(), true);
        expectBottomUp(dib, w, h, 8);
        EXPECT_EQ(hosttest::picture(dib), grey);
        ASSERT_EQ(dib.getColorCount(), 256u);
        EXPECT_EQ(dib.getColorTable()[200].rgbRed, 200);
        EXPECT_EQ(dib.getColorTable()[200].rgbBlue, 200);
    }
    {  // 16-bit grey rounds to the nearest 8-bit level
        Bytes be;
        Bytes expected;
        for (int i = 0; i < w * h; ++i) {
            const unsigned v = (i * 4099u + 128u) % 65536u;
            be.push_back(static_cast<unsigned char>(v >> 8));
            be.push_back(static_cast<unsigned char>(v));
            expected.push_back(round257(v));
        }
        hosttest::writePng(dir.file("g16.png"), w, h, PNG_COLOR_TYPE_GRAY, 16, be);
        CBitmapWindows dib(nullptr, dir.file("g16.png").c_str(), true);
        expectBottomUp(dib, w, h, 8);
        EXPECT_EQ(hosttest::picture(dib), expected);
    }
    {                                           // 1-bit grey stretches to 0 and 255
        const Bytes bits = {0xA8, 0x50, 0xF8};  // rows 10101, 01010, 11111
        hosttest::writePng(dir.file("g1.png"), w, h, PNG_COLOR_TYPE_GRAY, 1, bits);
        CBitmapWindows dib(nullptr, dir.file("g1.png").c_str(), true);
        const Bytes expected = {255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 255, 255, 255, 255};
        EXPECT_EQ(hosttest::picture(dib), expected);
    }
    {  // 4-bit palette of three entries: indices, one byte each, and that table
        const Bytes packed = {0x01, 0x20, 0x10, 0x22, 0x11, 0x00, 0x02, 0x10, 0x20};
        const Bytes palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
        hosttest::writePng(dir.file("p4.png"), w, h, PNG_COLOR_TYPE_PALETTE, 4, packed, palette);
        CBitmapWindows dib(nullptr, dir.file("p4.png").c_str(), true);
        expectBottomUp(dib, w, h, 8);
        const Bytes expected = {0, 1, 2, 0, 1, 2, 2, 1, 1, 0, 0, 2, 1, 0, 2};
        EXPECT_EQ(hosttest::picture(dib), expected);
        ASSERT_EQ(dib.getColorCount(), 3u);
        const RGBQUAD c = dib.getColorTable()[2];
        EXPECT_EQ((std::vector<int>{c.rgbRed, c.rgbGreen, c.rgbBlue}),
                  (std::vector<int>{70, 80, 90}));
    }
    {  // RGB, plain and interlaced: 24 bits, blue first
        const Bytes rgb = pattern(w * h * 3, 2);
        hosttest::writePng(dir.file("rgb.png"), w, h, PNG_COLOR_TYPE_RGB, 8, rgb);
        hosttest::writePng(dir.file("rgbi.png"), w, h, PNG_COLOR_TYPE_RGB, 8, rgb, {}, true);
        for (const char* name : {"rgb.png", "rgbi.png"}) {
            CBitmapWindows dib(nullptr, dir.file(name).c_str(), true);
            expectBottomUp(dib, w, h, 24);
            EXPECT_EQ(hosttest::picture(dib), toBgr(rgb, 3)) << name;
            EXPECT_EQ(*dib.getBeginImageRed(), rgb[0]);
            EXPECT_EQ(*dib.getBeginImageBlue(), rgb[2]);
        }
    }
    {  // 16-bit RGBA: 32 bits, blue-green-red-alpha, rounded
        Bytes be, expected;
        for (int i = 0; i < w * h * 4; ++i) {
            const unsigned v = (i * 9001u + 77u) % 65536u;
            be.push_back(static_cast<unsigned char>(v >> 8));
            be.push_back(static_cast<unsigned char>(v));
            expected.push_back(round257(v));
        }
        hosttest::writePng(dir.file("rgba16.png"), w, h, PNG_COLOR_TYPE_RGB_ALPHA, 16, be);
        CBitmapWindows dib(nullptr, dir.file("rgba16.png").c_str(), true);
        expectBottomUp(dib, w, h, 32);
        EXPECT_EQ(hosttest::picture(dib), toBgr(expected, 4));
    }
    {  // grey with alpha: 32 bits, the grey level three times
        const Bytes ga = pattern(w * h * 2, 3);
        hosttest::writePng(dir.file("ga.png"), w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 8, ga);
        CBitmapWindows dib(nullptr, dir.file("ga.png").c_str(), true);
        expectBottomUp(dib, w, h, 32);
        Bytes expected;
        for (int i = 0; i < w * h; ++i)
            expected.insert(expected.end(), {ga[2 * i], ga[2 * i], ga[2 * i], ga[2 * i + 1]});
        EXPECT_EQ(hosttest::picture(dib), expected);
    }
}

TEST(Decode, JpegGreyAndColourWithinTolerance) {
    hosttest::ScratchDir dir;
    const int w = 32, h = 16;
    Bytes grey(w * h), rgb(w * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            grey[y * w + x] = static_cast<unsigned char>(x * 6 + y * 2);
            // Left half one flat colour, right half another.
            const unsigned char* c = x < w / 2 ? (const unsigned char*)"\xc8\x64\x1e"
                                               : (const unsigned char*)"\x14\x96\xdc";
            std::copy(c, c + 3, rgb.begin() + (y * w + x) * 3);
        }
    }
    hosttest::writeJpeg(dir.file("g.jpg"), w, h, 1, grey);
    hosttest::writeJpeg(dir.file("c.jpg"), w, h, 3, rgb);
    {
        CBitmapWindows dib(nullptr, dir.file("g.jpg").c_str(), true);
        expectBottomUp(dib, w, h, 8);
        const Bytes got = hosttest::picture(dib);
        for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], grey[i], 4) << i;
    }
    {
        CBitmapWindows dib(nullptr, dir.file("c.jpg").c_str(), true);
        expectBottomUp(dib, w, h, 24);
        const Bytes got = hosttest::picture(dib), want = toBgr(rgb, 3);
        // Away from the edge between the halves, where chroma blurs.
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (x >= w / 2 - 8 && x < w / 2 + 8) continue;
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(got[(y * w + x) * 3 + c], want[(y * w + x) * 3 + c], 6);
            }
        }
    }
}

TEST(Decode, TiffStripsTilesAndKinds) {
    hosttest::ScratchDir dir;
    const int w = 20, h = 18;
    {  // 8-bit grey in strips, LZW compressed
        hosttest::TiffRecipe s{w, h};
        s.compression = COMPRESSION_LZW;
        const Bytes grey = pattern(w * h, 4);
        hosttest::writeTiff(dir.file("g.tif"), s, grey);
        CBitmapWindows dib(nullptr, dir.file("g.tif").c_str(), true);
        expectBottomUp(dib, w, h, 8);
        EXPECT_EQ(hosttest::picture(dib), grey);
    }
    {  // min-is-white grey is inverted
        hosttest::TiffRecipe s{w, h};
        s.photometric = PHOTOMETRIC_MINISWHITE;
        const Bytes grey = pattern(w * h, 5);
        hosttest::writeTiff(dir.file("mw.tif"), s, grey);
        CBitmapWindows dib(nullptr, dir.file("mw.tif").c_str(), true);
        Bytes expected = grey;
        for (auto& v : expected) v = static_cast<unsigned char>(255 - v);
        EXPECT_EQ(hosttest::picture(dib), expected);
    }
    {  // 16-bit grey rounds
        hosttest::TiffRecipe s{w, h};
        s.bits = 16;
        Bytes native(w * h * 2), expected(w * h);
        for (int i = 0; i < w * h; ++i) {
            const std::uint16_t v = static_cast<std::uint16_t>(i * 181 + 3);
            std::memcpy(&native[2 * i], &v, 2);
            expected[i] = round257(v);
        }
        hosttest::writeTiff(dir.file("g16.tif"), s, native);
        CBitmapWindows dib(nullptr, dir.file("g16.tif").c_str(), true);
        EXPECT_EQ(hosttest::picture(dib), expected);
    }
    {  // 8-bit palette with a 16-bit colour map
        hosttest::TiffRecipe s{w, h};
        s.photometric = PHOTOMETRIC_PALETTE;
        s.colourMap.assign(3 * 256, 0);
        s.colourMap[5] = 0xffff;        // red of entry 5
        s.colourMap[256 + 5] = 0x8080;  // green of entry 5
        s.colourMap[512 + 7] = 0x3030;  // blue of entry 7
        const Bytes index = pattern(w * h, 6);
        hosttest::writeTiff(dir.file("p.tif"), s, index);
        CBitmapWindows dib(nullptr, dir.file("p.tif").c_str(), true);
        expectBottomUp(dib, w, h, 8);
        EXPECT_EQ(hosttest::picture(dib), index);
        ASSERT_EQ(dib.getColorCount(), 256u);
        EXPECT_EQ(dib.getColorTable()[5].rgbRed, 255);
        EXPECT_EQ(dib.getColorTable()[5].rgbGreen, 0x80);
        EXPECT_EQ(dib.getColorTable()[7].rgbBlue, 0x30);
    }
    {  // RGB in 16 x 16 tiles, partial tiles at the right and bottom
        hosttest::TiffRecipe s{w, h, 3};
        s.photometric = PHOTOMETRIC_RGB;
        s.tileWidth = 16;
        s.tileHeight = 16;
        const Bytes rgb = pattern(w * h * 3, 7);
        hosttest::writeTiff(dir.file("t.tif"), s, rgb);
        CBitmapWindows dib(nullptr, dir.file("t.tif").c_str(), true);
        expectBottomUp(dib, w, h, 24);
        EXPECT_EQ(hosttest::picture(dib), toBgr(rgb, 3));
    }
    {  // RGBA: 32 bits
        hosttest::TiffRecipe s{w, h, 4};
        s.photometric = PHOTOMETRIC_RGB;
        s.alpha = true;
        const Bytes rgba = pattern(w * h * 4, 8);
        hosttest::writeTiff(dir.file("a.tif"), s, rgba);
        CBitmapWindows dib(nullptr, dir.file("a.tif").c_str(), true);
        expectBottomUp(dib, w, h, 32);
        EXPECT_EQ(hosttest::picture(dib), toBgr(rgba, 4));
    }
    {  // CMYK, tiled, through libtiff's RGBA reader: R = (255 - C)(255 - K) / 255
        hosttest::TiffRecipe s{w, h, 4};
        s.photometric = PHOTOMETRIC_SEPARATED;
        s.tileWidth = 16;
        s.tileHeight = 16;
        const Bytes cmyk = pattern(w * h * 4, 9);
        hosttest::writeTiff(dir.file("k.tif"), s, cmyk);
        CBitmapWindows dib(nullptr, dir.file("k.tif").c_str(), true);
        expectBottomUp(dib, w, h, 24);
        Bytes expected;
        for (int i = 0; i < w * h; ++i) {
            const unsigned k = 255 - cmyk[4 * i + 3];
            for (int c : {2, 1, 0})
                expected.push_back(static_cast<unsigned char>(k * (255 - cmyk[4 * i + c]) / 255));
        }
        EXPECT_EQ(hosttest::picture(dib), expected);
    }
}

namespace {

void put16(Bytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A BMP with a 40-byte header, the given table (4 bytes an entry) and rows as
// stored in the file (already padded).
Bytes bmp(int width, int height, int bits, const Bytes& table, const Bytes& rows,
          std::uint32_t compression = 0) {
    Bytes b(54);
    b[0] = 'B';
    b[1] = 'M';
    const std::uint32_t offset = 54 + static_cast<std::uint32_t>(table.size());
    put32(b, 2, offset + static_cast<std::uint32_t>(rows.size()));
    put32(b, 10, offset);
    put32(b, 14, 40);
    put32(b, 18, static_cast<std::uint32_t>(width));
    put32(b, 22, static_cast<std::uint32_t>(height));
    put16(b, 26, 1);
    put16(b, 28, static_cast<unsigned>(bits));
    put32(b, 30, compression);
    put32(b, 46, static_cast<std::uint32_t>(table.size() / 4));
    b.insert(b.end(), table.begin(), table.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

}  // namespace

TEST(Decode, BmpDepthsAndRowOrders) {
    hosttest::ScratchDir dir;
    const auto decode = [&](const char* name, const Bytes& file) {
        hosttest::writeAll(dir.file(name), file);
        return std::make_unique<CBitmapWindows>(nullptr, dir.file(name).c_str(), true);
    };
    // 3 x 2 at 24 bits: rows of 9 bytes padded to 12. Top row: 1 2 3 | 4 5 6 | 7 8 9.
    const Bytes top = {1, 2, 3, 4, 5, 6, 7, 8, 9}, bottom = {11, 12, 13, 14, 15, 16, 17, 18, 19};
    Bytes up = bottom, down = top;
    up.insert(up.end(), 3, 0);
    up.insert(up.end(), top.begin(), top.end());
    up.insert(up.end(), 3, 0);
    down.insert(down.end(), 3, 0);
    down.insert(down.end(), bottom.begin(), bottom.end());
    down.insert(down.end(), 3, 0);
    Bytes expected = top;
    expected.insert(expected.end(), bottom.begin(), bottom.end());
    {
        auto dib = decode("up.bmp", bmp(3, 2, 24, {}, up));
        expectBottomUp(*dib, 3, 2, 24);
        EXPECT_EQ(hosttest::picture(*dib), expected);
    }
    {
        auto dib = decode("down.bmp", bmp(3, -2, 24, {}, down));
        expectBottomUp(*dib, 3, 2, 24);  // presented bottom-up whatever the file's order
        EXPECT_EQ(hosttest::picture(*dib), expected);
    }
    const Bytes table = {0, 0, 0, 0, 255, 255, 255, 0, 10, 20, 30, 0, 1, 2, 3, 0};
    {  // 8 bits, four colours: indices kept, table copied
        auto dib = decode("p8.bmp", bmp(3, 2, 8, table, {3, 2, 1, 0, 0, 1, 2, 0}));
        expectBottomUp(*dib, 3, 2, 8);
        EXPECT_EQ(hosttest::picture(*dib), (Bytes{0, 1, 2, 3, 2, 1}));
        ASSERT_EQ(dib->getColorCount(), 4u);
        EXPECT_EQ(dib->getColorTable()[2].rgbRed, 30);
        EXPECT_EQ(dib->getColorTable()[2].rgbBlue, 10);
    }
    {  // 4 bits: high nibble first
        auto dib = decode("p4.bmp", bmp(3, 2, 4, table, {0x32, 0x10, 0, 0, 0x01, 0x20, 0, 0}));
        EXPECT_EQ(hosttest::picture(*dib), (Bytes{0, 1, 2, 3, 2, 1}));
    }
    {  // 1 bit: most significant bit first
        auto dib = decode("p1.bmp", bmp(3, 2, 1, Bytes(table.begin(), table.begin() + 8),
                                        {0xA0, 0, 0, 0, 0x40, 0, 0, 0}));
        EXPECT_EQ(hosttest::picture(*dib), (Bytes{0, 1, 0, 1, 0, 1}));
    }
    {  // 32 bits: kept byte for byte
        const Bytes px = {1, 2, 3, 4, 5, 6, 7, 8};
        auto dib = decode("c32.bmp", bmp(1, -2, 32, {}, px));
        expectBottomUp(*dib, 1, 2, 32);
        EXPECT_EQ(hosttest::picture(*dib), px);
    }
    {  // 16 bits 5-6-5 through bit fields: pure red, pure green
        Bytes file = bmp(2, 1, 16, {0, 0xf8, 0, 0, 0xe0, 0x07, 0, 0, 0x1f, 0, 0, 0},
                         {0x00, 0xf8, 0xe0, 0x07}, 3);
        put32(file, 46, 0);  // the masks are not colour entries
        auto dib = decode("c16.bmp", file);
        expectBottomUp(*dib, 2, 1, 24);
        EXPECT_EQ(hosttest::picture(*dib), (Bytes{0, 0, 255, 0, 255, 0}));
    }
}

TEST(Decode, HeaderOnlyKnowsSizeDepthAndColoursButHasNoPixels) {
    hosttest::ScratchDir dir;
    hosttest::writePng(dir.file("p.png"), 7, 9, PNG_COLOR_TYPE_PALETTE, 8, Bytes(63, 1),
                       {1, 2, 3, 4, 5, 6});
    CBitmapWindows dib(nullptr, dir.file("p.png").c_str(), false);
    EXPECT_EQ(dib.getWidth(), 7u);
    EXPECT_EQ(dib.getHeight(), 9u);
    EXPECT_EQ(dib.getBPP(), 8);
    EXPECT_EQ(dib.m_pBits, nullptr);
    EXPECT_EQ(dib.getBeginImage(), nullptr);
    ASSERT_EQ(dib.getColorCount(), 2u);
    EXPECT_EQ(dib.getColorTable()[1].rgbRed, 4);
}
