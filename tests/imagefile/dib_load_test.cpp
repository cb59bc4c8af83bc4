// The host-decoded reader: files the host bitmap decodes, copied into paged
// images with row 0 at the top, colour and palette paths, and refusals that
// leave the image as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "image_checks.h"
#include "imagefile/dib_copy.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

using namespace tarvel_test;

namespace {

std::uint8_t picture(int c, int x, int y) {
    return static_cast<std::uint8_t>(200 * (c == 0) + x * (3 + 14 * c) + y * (1 + 20 * c));
}

class DibLoad : public testing::Test {
  protected:
    bool load(const bytes& file, tarvel::image& img) {
        write_bytes(source, file);
        return tarvel::CImageFileFormat_dib().Load(img, source.c_str(), nullptr, nullptr);
    }
    scratch_dir dir;
    std::string source = dir.file_path("source.bmp");
};

// 32-bit pixels carry a fourth byte 0x5a that no channel may show (the host
// presents them as 24 bits); a 16-entry table leaves the other 240 entries black.
TEST_F(DibLoad, ColourAndPaletteSourcesGiveRedInChannelZeroAndTopRowFirst) {
    for (int bits : {24, 32}) {
        for (int height : {3, -3}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, height " << height);
            tarvel::image img;
            ASSERT_TRUE(load(make_bmp24({bits, 5, height}, picture), img));
            EXPECT_EQ(KORBAS::CBitmapWindows(nullptr, source.c_str(), true).getBPP(), 24);
            expect_picture(img, 3, 5, 3, picture);
        }
    }
    auto index = [](int, int x, int y) { return static_cast<std::uint8_t>((x + 6 * y) % 16); };
    tarvel::image img;
    ASSERT_TRUE(load(make_bmp8({8, 6, -2, 0, 16, 16}, index), img));
    expect_picture(img, 2, 6, 2, index, test_palette(16));
}

// A DIB that claims a depth no decoder produces (the host widens 16-bit
// files to 24 bits), so that the refusal of 9 to 16 bits can be seen.
class claimed_depth_bitmap : public KORBAS::CBitmapWindows {
  public:
    explicit claimed_depth_bitmap(unsigned short bits) : CBitmapWindows(nullptr), m_bits(bits) {
        allocDIB(4, 2, 1, 24, 0, 0);
    }
    unsigned short getBPP() const override { return m_bits; }

  private:
    unsigned short m_bits;
};

TEST_F(DibLoad, RefusedSourcesLeaveTheImageAsItWas) {
    tarvel::image img;
    mark(img);
    for (unsigned short bits : {9, 12, 15, 16}) {
        EXPECT_FALSE(tarvel::copyBitmapToImage(claimed_depth_bitmap(bits), img)) << bits;
        expect_marker(img);
    }
    // The host cannot decode these: its exception becomes false.
    EXPECT_FALSE(load({'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}, img));
    expect_marker(img);
    tarvel::CImageFileFormat_dib format;
    EXPECT_FALSE(format.Load(img, dir.file_path("missing.png").c_str(), nullptr, nullptr));
    expect_marker(img);
}

}  // namespace
