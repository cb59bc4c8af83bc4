// SetDIBitsToDevice placement and clipping, palettes, and surfaces saved as PNG.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/qdc.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t W = 0xffffff;  // the untouched surface
// The picture: top row A B C, bottom row D E F.
constexpr std::uint32_t A = 0x010203, B = 0x040506, C = 0x070809;
constexpr std::uint32_t D = 0x0a0b0c, E = 0x0d0e0f, F = 0x101112;

// A 3 x 2 24-bit DIB of that picture, bottom-up or top-down.
struct Dib24 {
    BITMAPINFO info{};
    std::vector<unsigned char> bits;

    explicit Dib24(bool topDown) {
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 3;
        info.bmiHeader.biHeight = topDown ? -2 : 2;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        const std::uint32_t top[3] = {A, B, C}, bottom[3] = {D, E, F};
        for (const std::uint32_t* row : topDown ? std::vector<const std::uint32_t*>{top, bottom}
                                                : std::vector<const std::uint32_t*>{bottom, top}) {
            for (int x = 0; x < 3; ++x) {
                bits.push_back(static_cast<unsigned char>(row[x]));
                bits.push_back(static_cast<unsigned char>(row[x] >> 8));
                bits.push_back(static_cast<unsigned char>(row[x] >> 16));
            }
            bits.insert(bits.end(), 3, 0);  // 9 bytes padded to 12
        }
    }
};

std::vector<std::uint32_t> surface(const QDC& dc) {
    return std::vector<std::uint32_t>(dc.GetPixels(),
                                      dc.GetPixels() + dc.GetWidth() * dc.GetHeight());
}

// A 6 x 5 surface after one blit of the whole-width picture.
std::vector<std::uint32_t> blit(bool topDown, int xDest, int yDest, DWORD w, DWORD h, int xSrc,
                                int ySrc, UINT start, UINT lines, int* result = nullptr) {
    QDC dc(6, 5);
    Dib24 dib(topDown);
    const int n = SetDIBitsToDevice(dc, xDest, yDest, w, h, xSrc, ySrc, start, lines,
                                    dib.bits.data(), &dib.info, DIB_RGB_COLORS);
    if (result) *result = n;
    return surface(dc);
}

}  // namespace

TEST(SetDIBitsToDevice, PlacesTheWholeDibWithItsTopLeftAtTheDestination) {
    const std::vector<std::uint32_t> expected = {W, W, W, W, W, W,  //
                                                 W, W, A, B, C, W,  //
                                                 W, W, D, E, F, W,  //
                                                 W, W, W, W, W, W,  //
                                                 W, W, W, W, W, W};
    for (bool topDown : {false, true}) {
        int n = 0;
        EXPECT_EQ(blit(topDown, 2, 1, 3, 2, 0, 0, 0, 2, &n), expected) << topDown;
        EXPECT_EQ(n, 2);
    }
}

TEST(SetDIBitsToDevice, ClipsAtEachEdgeOfTheSurface) {
    for (bool topDown : {false, true}) {
        // Left: one column off the surface.
        EXPECT_EQ(blit(topDown, -1, 0, 3, 2, 0, 0, 0, 2),
                  (std::vector<std::uint32_t>{B, C, W, W, W, W, E, F, W, W, W, W, W, W, W,
                                              W, W, W, W, W, W, W, W, W, W, W, W, W, W, W}));
        // Right: one column beyond.
        EXPECT_EQ(blit(topDown, 4, 3, 3, 2, 0, 0, 0, 2),
                  (std::vector<std::uint32_t>{W, W, W, W, W, W, W, W, W, W, W, W, W, W, W,
                                              W, W, W, W, W, W, W, A, B, W, W, W, W, D, E}));
        // Top: the top row above the surface.
        EXPECT_EQ(blit(topDown, 0, -1, 3, 2, 0, 0, 0, 2),
                  (std::vector<std::uint32_t>{D, E, F, W, W, W, W, W, W, W, W, W, W, W, W,
                                              W, W, W, W, W, W, W, W, W, W, W, W, W, W, W}));
        // Bottom: the bottom row below the surface.
        EXPECT_EQ(blit(topDown, 3, 4, 3, 2, 0, 0, 0, 2),
                  (std::vector<std::uint32_t>{W, W, W, W, W, W, W, W, W, W, W, W, W, W, W,
                                              W, W, W, W, W, W, W, W, W, W, W, W, A, B, C}));
        // Entirely outside: nothing drawn.
        EXPECT_EQ(blit(topDown, 6, 0, 3, 2, 0, 0, 0, 2), std::vector<std::uint32_t>(30, W));
        EXPECT_EQ(blit(topDown, 0, -2, 3, 2, 0, 0, 0, 2), std::vector<std::uint32_t>(30, W));
    }
}

TEST(SetDIBitsToDevice, SourceRectangleCountsScanLinesFromTheBottom) {
    for (bool topDown : {false, true}) {
        // ySrc 1 is the top row of a two-row DIB; xSrc 1 skips A.
        std::vector<std::uint32_t> expected(30, W);
        expected[0] = B;
        expected[1] = C;
        EXPECT_EQ(blit(topDown, 0, 0, 2, 1, 1, 1, 0, 2), expected);
        // ySrc 0, one line: the bottom row.
        expected.assign(30, W);
        expected[6] = D, expected[7] = E, expected[8] = F;
        EXPECT_EQ(blit(topDown, 0, 1, 3, 1, 0, 0, 0, 2), expected);
        // A source wider than the DIB draws only the DIB's columns.
        expected.assign(30, W);
        expected[1] = A, expected[2] = B, expected[3] = C, expected[7] = D, expected[8] = E,
        expected[9] = F;
        EXPECT_EQ(blit(topDown, 0, 0, 5, 2, -1, 0, 0, 2), expected);
    }
}

TEST(SetDIBitsToDevice, BandsOfScanLinesLandWhereTheWholeDibWould) {
    // Bottom-up: only scan line 1 (the top row) is supplied.
    QDC dc(6, 5);
    Dib24 up(false);
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 3, 2, 0, 0, 1, 1, up.bits.data() + 12, &up.info,
                                DIB_RGB_COLORS),
              1);
    std::vector<std::uint32_t> expected(30, W);
    expected[0] = A, expected[1] = B, expected[2] = C;
    EXPECT_EQ(surface(dc), expected);
    // Then scan line 0 (the bottom row) on its own.
    SetDIBitsToDevice(dc, 0, 0, 3, 2, 0, 0, 0, 1, up.bits.data(), &up.info, DIB_RGB_COLORS);
    expected[6] = D, expected[7] = E, expected[8] = F;
    EXPECT_EQ(surface(dc), expected);
    // Lines beyond the DIB and bad arguments draw nothing.
    QDC other(6, 5);
    EXPECT_EQ(
        SetDIBitsToDevice(other, 0, 0, 3, 2, 0, 0, 2, 1, up.bits.data(), &up.info, DIB_RGB_COLORS),
        0);
    EXPECT_EQ(SetDIBitsToDevice(other, 0, 0, 3, 2, 0, 0, 0, 2, nullptr, &up.info, DIB_RGB_COLORS),
              0);
    EXPECT_EQ(surface(other), std::vector<std::uint32_t>(30, W));
}

TEST(SetDIBitsToDevice, IndexedDibsGoThroughTheColourTable) {
    // 8 bits, 4 x 1, three colours: index 3 lies beyond the table and is black.
    struct {
        BITMAPINFOHEADER header{};
        RGBQUAD colours[3];
    } info;
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = 4;
    info.header.biHeight = 1;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biClrUsed = 3;
    info.colours[0] = RGBQUAD{0x30, 0x20, 0x10, 0};  // blue, green, red
    info.colours[1] = RGBQUAD{0x60, 0x50, 0x40, 0};
    info.colours[2] = RGBQUAD{0x90, 0x80, 0x70, 0};
    const unsigned char indices[4] = {2, 0, 3, 1};
    QDC dc(4, 1);
    SetDIBitsToDevice(dc, 0, 0, 4, 1, 0, 0, 0, 1, indices, reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
    EXPECT_EQ(surface(dc), (std::vector<std::uint32_t>{0x708090, 0x102030, 0, 0x405060}));
    // The same picture at 4 bits and at 1 bit (indices 0 and 1 only).
    info.header.biBitCount = 4;
    const unsigned char nibbles[4] = {0x20, 0x31, 0, 0};
    SetDIBitsToDevice(dc, 0, 0, 4, 1, 0, 0, 0, 1, nibbles, reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
    EXPECT_EQ(surface(dc), (std::vector<std::uint32_t>{0x708090, 0x102030, 0, 0x405060}));
    info.header.biBitCount = 1;
    const unsigned char bits[4] = {0x50, 0, 0, 0};  // 0101
    SetDIBitsToDevice(dc, 0, 0, 4, 1, 0, 0, 0, 1, bits, reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
    EXPECT_EQ(surface(dc), (std::vector<std::uint32_t>{0x102030, 0x405060, 0x102030, 0x405060}));
}

TEST(Palettes, SelectRecordsAndRealizeTakesEveryEntry) {
    struct {
        LOGPALETTE head;
        PALETTEENTRY more[2];
    } logical{};
    logical.head.palVersion = 0x300;
    logical.head.palNumEntries = 3;
    HPALETTE palette = CreatePalette(&logical.head);
    ASSERT_NE(palette, nullptr);
    QDC dc(2, 2);
    EXPECT_EQ(RealizePalette(dc), 0u);  // nothing selected yet
    EXPECT_EQ(SelectPalette(dc, palette, FALSE), nullptr);
    EXPECT_EQ(RealizePalette(dc), 3u);
    EXPECT_EQ(SelectPalette(dc, nullptr, FALSE), palette);
    EXPECT_TRUE(DeleteObject(palette));
    logical.head.palNumEntries = 0;
    EXPECT_EQ(CreatePalette(&logical.head), nullptr);
}

TEST(Qdc, SavedSurfaceReadsBackThroughLibpng) {
    QDC dc(3, 2);
    dc.Clear(0x336699);
    Dib24 dib(false);
    SetDIBitsToDevice(dc, 1, 0, 2, 1, 0, 1, 0, 2, dib.bits.data(), &dib.info, DIB_RGB_COLORS);
    char pattern[] = "/tmp/tarvel-qdc-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern, path = dir + "/out.png";
    ASSERT_TRUE(dc.SaveAsPNG(path.c_str()));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(rgb,
              (std::vector<unsigned char>{0x33, 0x66, 0x99, 1, 2, 3, 4, 5, 6,  //
                                          0x33, 0x66, 0x99, 0x33, 0x66, 0x99, 0x33, 0x66, 0x99}));
    unlink(path.c_str());
    // Into a directory that does not exist: false, and nothing left behind.
    EXPECT_FALSE(dc.SaveAsPNG((dir + "/no/such/out.png").c_str()));
    EXPECT_EQ(rmdir(dir.c_str()), 0);
    EXPECT_THROW(QDC(0, 5), std::invalid_argument);
}
