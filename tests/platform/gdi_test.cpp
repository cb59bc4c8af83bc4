// SetDIBitsToDevice placement and clipping, colour tables, and surfaces saved as PNG.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/qdc.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t W = 0xffffff;  // the untouched surface
// The picture, rows from the top: A B C over D E F.
constexpr std::uint32_t kPicture[2][3] = {{0x010203, 0x040506, 0x070809},
                                          {0x0a0b0c, 0x0d0e0f, 0x101112}};

// A 3 x 2 24-bit DIB of the picture, bottom-up or top-down: blue, green, red bytes, rows padded
// to 12 bytes.
struct Dib24 {
    BITMAPINFO info{};
    std::vector<unsigned char> bits;

    explicit Dib24(bool topDown) {
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 3, topDown ? -2 : 2, 1, 24, 0, 0, 0, 0, 0, 0};
        const unsigned char top[12] = {3, 2, 1, 6, 5, 4, 9, 8, 7};
        const unsigned char bottom[12] = {12, 11, 10, 15, 14, 13, 18, 17, 16};
        bits.assign(topDown ? top : bottom, (topDown ? top : bottom) + 12);
        bits.insert(bits.end(), topDown ? bottom : top, (topDown ? bottom : top) + 12);
    }
};

std::vector<std::uint32_t> surface(const QDC& dc) {
    return std::vector<std::uint32_t>(dc.GetPixels(),
                                      dc.GetPixels() + dc.GetWidth() * dc.GetHeight());
}

// One blit onto a 6 x 5 surface: source rectangle (xSrc, ySrc, w, h) with ySrc counted from the
// bottom row, its top-left placed at (xDest, yDest).
struct blit {
    int xDest, yDest, w, h, xSrc, ySrc;

    // What it draws, pixel by pixel: what lies inside both the picture and the surface.
    std::vector<std::uint32_t> expected() const {
        std::vector<std::uint32_t> out(30, W);
        for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i) {
                // Unsigned: anything left of or above an edge wraps past the far limit.
                const unsigned x = xDest + i, y = yDest + j, col = xSrc + i, up = ySrc + h - 1 - j;
                if (x < 6 && y < 5 && col < 3 && up < 2) out[y * 6 + x] = kPicture[1 - up][col];
            }
        }
        return out;
    }
};

TEST(SetDIBitsToDevice, PlacesAndClipsLikeAPixelByPixelReference) {
    // Inside; across the left, right, top and bottom edges; entirely outside; part of the top
    // row; the bottom row alone; a source wider than the picture.
    const blit cases[] = {{2, 1, 3, 2, 0, 0},  {-1, 0, 3, 2, 0, 0}, {4, 3, 3, 2, 0, 0},
                          {0, -1, 3, 2, 0, 0}, {3, 4, 3, 2, 0, 0},  {6, 0, 3, 2, 0, 0},
                          {0, -2, 3, 2, 0, 0}, {0, 0, 2, 1, 1, 1},  {0, 1, 3, 1, 0, 0},
                          {0, 0, 5, 2, -1, 0}};
    for (bool topDown : {false, true}) {
        const Dib24 dib(topDown);
        for (const blit& b : cases) {
            QDC dc(6, 5);
            SetDIBitsToDevice(dc, b.xDest, b.yDest, b.w, b.h, b.xSrc, b.ySrc, 0, 2, dib.bits.data(),
                              &dib.info, kDibRgbColors);
            EXPECT_EQ(surface(dc), b.expected())
                << "top-down " << topDown << ", case " << &b - cases;
        }
    }
    EXPECT_EQ(cases[0].expected()[8], kPicture[0][0]);  // the reference itself draws
}

TEST(SetDIBitsToDevice, IndexedDibsGoThroughTheColourTable) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[3];  // blue, green, red
    } info{{sizeof(BITMAPINFOHEADER), 4, 1, 1, 8, 0, 0, 0, 0, 3, 0},
           {{0x30, 0x20, 0x10, 0}, {0x60, 0x50, 0x40, 0}, {0x90, 0x80, 0x70, 0}}};
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(&info);
    QDC dc(4, 1);
    const unsigned char indices[4] = {2, 0, 3, 1};  // 3 lies beyond the table: black
    SetDIBitsToDevice(dc, 0, 0, 4, 1, 0, 0, 0, 1, indices, bmi, kDibRgbColors);
    EXPECT_EQ(surface(dc), (std::vector<std::uint32_t>{0x708090, 0x102030, 0, 0x405060}));
}

TEST(Qdc, SavedSurfaceReadsBackThroughLibpng) {
    QDC dc(3, 2);
    dc.Clear(0x336699);
    Dib24 dib(false);
    SetDIBitsToDevice(dc, 1, 0, 2, 1, 0, 1, 0, 2, dib.bits.data(), &dib.info, kDibRgbColors);
    const std::string path = "/tmp/tarvel-qdc-" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(dc.SaveAsPNG(path.c_str()));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(rgb,
              (std::vector<unsigned char>{0x33, 0x66, 0x99, 1, 2, 3, 4, 5, 6,  //
                                          0x33, 0x66, 0x99, 0x33, 0x66, 0x99, 0x33, 0x66, 0x99}));
    // Into a directory that does not exist: false.
    EXPECT_FALSE(dc.SaveAsPNG((path + "/out.png").c_str()));
    EXPECT_EQ(unlink(path.c_str()), 0);
}

}  // namespace
