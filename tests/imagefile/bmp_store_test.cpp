// Writing BMP files: the bytes on disk against files built by hand, and round
// trips through the reader for RGB, palette and grey images.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "image_checks.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

namespace {

using tarvel_test::bytes;

std::uint8_t sample(int c, int x, int y) {
    return static_cast<std::uint8_t>(x * 7 + y * 13 + c * 101 + (x * y) % 5);
}
void picture(int x, int y, std::uint8_t rgb[3]) {
    for (int c = 0; c < 3; ++c) rgb[c] = sample(c, x, y);
}
std::uint8_t index(int x, int y) {
    return sample(0, x, y);
}

void fill(tarvel::image& img) {
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        tarvel::image::pointer p(&img, c, 0);
        for (int y = 0; y < img.GetHeight(); ++y) {
            for (int x = 0; x < img.GetWidth(); ++x, ++p) *p = sample(c, x, y);
        }
    }
}

class BmpStore : public testing::Test {
  protected:
    tarvel_test::scratch_dir dir;
    std::string out = dir.file_path("out.bmp");
};

// Widths 1 to 5 need 1, 2, 3, 0 and 1 padding bytes a row; 1 x 1 is one pixel.
TEST_F(BmpStore, TwentyFourBitBytesAndRoundTrip) {
    for (int width = 1; width <= 5; ++width) {
        for (int height : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height);
            tarvel::image img(3, width, height, 0);
            fill(img);
            ASSERT_EQ(tarvel::storeWindowsBMP(img, out.c_str(), nullptr), 0);
            EXPECT_EQ(tarvel_test::read_bytes(out),
                      tarvel_test::make_bmp24({24, width, height}, picture));
            tarvel::image back;
            ASSERT_EQ(tarvel::loadWindowsBMP(back, out.c_str(), nullptr), 0);
            tarvel_test::expect_rgb_picture(back, width, height, picture);
        }
    }
}

// Palette images keep their table; grey images are stored with the grey ramp.
TEST_F(BmpStore, PaletteAndGreyImagesWriteEightBitFiles) {
    std::mt19937 random(5);
    for (int type : {2, 1}) {
        SCOPED_TRACE(type == 2 ? "palette" : "grey");
        tarvel::image img(type, 5, 3, 0);
        fill(img);
        bytes palette(768);
        for (int i = 0; i < 768; ++i)
            palette[i] = static_cast<std::uint8_t>(type == 2 ? random() : i / 3);
        if (type == 2) std::copy(palette.begin(), palette.end(), img.GetPalette());
        ASSERT_EQ(tarvel::storeWindowsBMP(img, out.c_str(), nullptr), 0);
        EXPECT_EQ(tarvel_test::read_bytes(out),
                  tarvel_test::make_bmp8({8, 5, 3, 0, 256, 256}, index, palette));
        tarvel::image back;
        ASSERT_EQ(tarvel::loadWindowsBMP(back, out.c_str(), nullptr), 0);
        tarvel_test::expect_palette_picture(back, 5, 3, index, palette);
    }
}

TEST_F(BmpStore, FourChannelsWriteThreeAndNothingIsWrittenOnFailure) {
    tarvel::image four(3, 4, 2, 3);
    ASSERT_EQ(four.GetChannelCount(), 4);
    fill(four);
    ASSERT_EQ(tarvel::storeWindowsBMP(four, out.c_str(), nullptr), 0);
    EXPECT_EQ(tarvel_test::read_bytes(out), tarvel_test::make_bmp24({24, 4, 2}, picture));

    tarvel::image empty;
    const std::string none = dir.file_path("none.bmp");
    EXPECT_EQ(tarvel::storeWindowsBMP(empty, none.c_str(), nullptr), -1);
    EXPECT_EQ(dir.files(), std::vector<std::string>{"out.bmp"});  // nothing left behind
    EXPECT_EQ(tarvel::storeWindowsBMP(four, (dir.path() + "no/such/dir.bmp").c_str(), nullptr), -1);
    // Write errors are reported; a device is never removed.
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(tarvel::storeWindowsBMP(four, "/dev/full", nullptr), -1);
        EXPECT_EQ(access("/dev/full", F_OK), 0);
    }
}

}  // namespace
