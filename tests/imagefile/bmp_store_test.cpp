// Writing BMP files: the bytes on disk against files built by hand, and round
// trips through the reader for RGB, palette and grey images.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image_checks.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

using namespace tarvel_test;

namespace {

std::uint8_t sample(int c, int x, int y) {
    return static_cast<std::uint8_t>(x * 7 + y * 13 + c * 101 + (x * y) % 5);
}

class BmpStore : public testing::Test {
  protected:
    scratch_dir dir;
    std::string out = dir.file_path("out.bmp");
};

// Widths 1 to 5 need 1, 2, 3, 0 and 1 padding bytes a 24-bit row; 1 x 1 is
// one pixel. Palette images keep their table; grey ones get the grey ramp.
TEST_F(BmpStore, RgbPaletteAndGreyImagesGiveHandMadeBytesAndReadBack) {
    for (int type : {3, 2, 1}) {
        for (int width = 1; width <= 5; ++width) {
            for (int height : {1, 3}) {
                SCOPED_TRACE(testing::Message()
                             << "type " << type << ", " << width << " x " << height);
                tarvel::image img(type, width, height, 0);
                fill(img, sample);
                bytes palette = test_palette();
                if (type == 2) std::copy(palette.begin(), palette.end(), img.GetPalette());
                for (int i = 0; type == 1 && i < 768; ++i) palette[i] = std::uint8_t(i / 3);
                ASSERT_EQ(tarvel::storeWindowsBMP(img, out.c_str(), nullptr), 0);
                tarvel::image back;
                ASSERT_EQ(tarvel::loadWindowsBMP(back, out.c_str(), nullptr), 0);
                EXPECT_EQ(read_bytes(out),
                          type == 3 ? make_bmp24({24, width, height}, sample)
                                    : make_bmp8({8, width, height, 0, 256, 256}, sample, palette));
                expect_picture(back, type == 3 ? 3 : 2, width, height, sample,
                               type == 3 ? bytes() : palette);
            }
        }
    }
}

TEST_F(BmpStore, NothingIsWrittenOnFailure) {
    tarvel::image empty, img(3, 4, 2, 0);
    EXPECT_EQ(tarvel::storeWindowsBMP(empty, out.c_str(), nullptr), -1);
    EXPECT_EQ(tarvel::storeWindowsBMP(img, (dir.path() + "no/such/dir.bmp").c_str(), nullptr), -1);
    EXPECT_EQ(dir.files(), std::vector<std::string>{});
    // Write errors are reported; a device is never removed.
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(tarvel::storeWindowsBMP(img, "/dev/full", nullptr), -1);
        EXPECT_EQ(access("/dev/full", F_OK), 0);
    }
}

}  // namespace
