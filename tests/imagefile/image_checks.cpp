// Checks of what a paged image holds.
#include "image_checks.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <tuple>

namespace tarvel_test {

static std::uint8_t marker(int c, int x, int y) {
    return static_cast<std::uint8_t>(c * 70 + x * 9 + y * 31);
}

void fill(tarvel::image& img, const sample_fn& picture) {
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        tarvel::image::pointer p(&img, c, 0);
        for (int i = 0; i < img.GetWidth() * img.GetHeight(); ++i, ++p)
            *p = picture(c, i % img.GetWidth(), i / img.GetWidth());
    }
}

void expect_picture(tarvel::image& img, int type, int width, int height, const sample_fn& picture,
                    const bytes& palette) {
    const int channels = type == 3 ? 3 : 1;
    ASSERT_EQ(
        std::make_tuple(img.GetType(), img.GetChannelCount(), img.GetWidth(), img.GetHeight()),
        std::make_tuple(type, channels, width, height));
    if (!palette.empty()) {
        EXPECT_EQ(bytes(img.GetPalette(), img.GetPalette() + 768), palette);
    }
    bytes row(static_cast<std::size_t>(width));
    for (int c = 0; c < channels; ++c) {
        for (int y = 0; y < height; ++y) {
            img.GetRegion(0, y, width - 1, y, c, row.data());
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(row[x], picture(c, x, y)) << "x " << x << " y " << y << " channel " << c;
        }
    }
}

void mark(tarvel::image& img) {
    ASSERT_TRUE(img.Create(3, 7, 5, 0));
    fill(img, marker);
}

void expect_marker(tarvel::image& img) {
    expect_picture(img, 3, 7, 5, marker);
}

long peak_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace tarvel_test
