// Checks of what a paged image holds.
#include "image_checks.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace tarvel_test {

std::vector<std::uint8_t> row_of(tarvel::image& img, int channel, int y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(img.GetWidth()));
    img.GetRegion(0, y, img.GetWidth() - 1, y, channel, row.data());
    return row;
}

void expect_rgb_picture(tarvel::image& img, int width, int height, const rgb_fn& picture) {
    ASSERT_EQ(img.GetType(), 3);
    ASSERT_EQ(img.GetChannelCount(), 3);
    ASSERT_EQ(img.GetWidth(), width);
    ASSERT_EQ(img.GetHeight(), height);
    for (int y = 0; y < height; ++y) {
        for (int c = 0; c < 3; ++c) {
            const auto row = row_of(img, c, y);
            for (int x = 0; x < width; ++x) {
                std::uint8_t rgb[3];
                picture(x, y, rgb);
                EXPECT_EQ(row[x], rgb[c]) << "x " << x << " y " << y << " channel " << c;
            }
        }
    }
}

void expect_palette_picture(tarvel::image& img, int width, int height, const index_fn& pixel,
                            const bytes& palette) {
    ASSERT_EQ(img.GetType(), 2);
    ASSERT_EQ(img.GetWidth(), width);
    ASSERT_EQ(img.GetHeight(), height);
    EXPECT_EQ(bytes(img.GetPalette(), img.GetPalette() + 768), palette);
    for (int y = 0; y < height; ++y) {
        const auto row = row_of(img, 0, y);
        for (int x = 0; x < width; ++x) EXPECT_EQ(row[x], pixel(x, y)) << x << ", " << y;
    }
}

void mark(tarvel::image& img) {
    ASSERT_TRUE(img.Create(3, 7, 5, 0));
    for (int c = 0; c < 3; ++c) *tarvel::image::pointer(&img, c, 3, 2) = 99;
}

void expect_marker(tarvel::image& img) {
    ASSERT_TRUE(img.IsValid());
    EXPECT_EQ(img.GetType(), 3);
    EXPECT_EQ(img.GetWidth(), 7);
    EXPECT_EQ(img.GetHeight(), 5);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(row_of(img, c, 2)[3], 99);
}

long peak_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace tarvel_test
