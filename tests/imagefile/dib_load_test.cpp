// The host-decoded reader: files the host bitmap decodes, copied into paged
// images with row 0 at the top, colour and palette paths, and refusals that
// leave the image as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "image_checks.h"
#include "imagefile/dib_copy.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

namespace {

using tarvel_test::bmp_recipe;
using tarvel_test::bytes;
using tarvel_test::row_of;

void picture(int x, int y, std::uint8_t rgb[3]) {
    rgb[0] = static_cast<std::uint8_t>(200 + x * 3 + y);
    rgb[1] = static_cast<std::uint8_t>(x * 17 + y * 5);
    rgb[2] = static_cast<std::uint8_t>(x + y * 40);
}

// A 32-bit BI_RGB file: each pixel blue, green, red and a fourth byte 0x5a
// that no channel may show.
bytes make_bmp32(int width, int height) {
    bmp_recipe recipe;
    recipe.width = width;
    recipe.height = height;
    bytes file = tarvel_test::make_bmp24(recipe, picture);  // headers only are kept
    file.resize(54);
    file[28] = 32;
    const std::uint32_t pixels = 4u * width * static_cast<std::uint32_t>(std::abs(height));
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<std::uint8_t>((54 + pixels) >> 8 * i);
        file[34 + i] = static_cast<std::uint8_t>(pixels >> 8 * i);
    }
    for (int r = 0; r < std::abs(height); ++r) {
        const int y = height < 0 ? r : height - 1 - r;
        for (int x = 0; x < width; ++x) {
            std::uint8_t rgb[3];
            picture(x, y, rgb);
            file.insert(file.end(), {rgb[2], rgb[1], rgb[0], 0x5a});
        }
    }
    return file;
}

class DibLoad : public testing::Test {
  protected:
    bool load(const bytes& file, tarvel::image& img) {
        const std::string path = dir.file_path("source.bmp");
        tarvel_test::write_bytes(path, file);
        tarvel::CImageFileFormat_dib format;
        return format.Load(img, path.c_str(), nullptr, nullptr);
    }
    tarvel_test::scratch_dir dir;
};

TEST_F(DibLoad, ColourSourcesGiveRedInChannelZeroAndTopRowFirst) {
    for (int height : {3, -3}) {
        SCOPED_TRACE(height < 0 ? "top-down file" : "bottom-up file");
        bmp_recipe recipe;
        recipe.width = 5;
        recipe.height = height;
        tarvel::image img24;
        ASSERT_TRUE(load(tarvel_test::make_bmp24(recipe, picture), img24));
        tarvel_test::expect_rgb_picture(img24, 5, 3, picture);
        tarvel::image img32;
        ASSERT_TRUE(load(make_bmp32(5, height), img32));
        // The host presents this file as a 32-bit DIB, so the fourth byte had to be skipped.
        EXPECT_EQ(
            KORBAS::CBitmapWindows(nullptr, dir.file_path("source.bmp").c_str(), true).getBPP(),
            32);
        tarvel_test::expect_rgb_picture(img32, 5, 3, picture);
        EXPECT_EQ(img32.GetChannelCount(), 3);
    }
}

TEST_F(DibLoad, SixteenEntryPaletteGivesBlackForTheRest) {
    bmp_recipe recipe;
    recipe.bits = 8;
    recipe.width = 6;
    recipe.height = -2;
    recipe.colours = 16;
    recipe.clrUsed = 16;
    auto index = [](int x, int y) { return static_cast<std::uint8_t>((x + 6 * y) % 16); };
    tarvel::image img;
    ASSERT_TRUE(load(tarvel_test::make_bmp8(recipe, index), img));
    ASSERT_EQ(img.GetType(), 2);
    const unsigned char* palette = img.GetPalette();
    for (int i = 0; i < 256; ++i) {
        const bool set = i < 16;
        EXPECT_EQ(palette[3 * i], set ? 255 - i : 0) << i;
        EXPECT_EQ(palette[3 * i + 1], set ? 2 * i : 0) << i;
        EXPECT_EQ(palette[3 * i + 2], set ? i : 0) << i;
    }
    for (int y = 0; y < 2; ++y) {
        const auto row = row_of(img, 0, y);
        for (int x = 0; x < 6; ++x) EXPECT_EQ(row[x], index(x, y));
    }
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

// A 3 x 2 grey image whose pixel (1, 1) is 42.
void fill_marker(tarvel::image& img) {
    ASSERT_TRUE(img.Create(1, 3, 2, 0));
    tarvel::image::pointer p(&img, 0, 1, 1);
    *p = 42;
}

void expect_marker(tarvel::image& img) {
    ASSERT_TRUE(img.IsValid());
    EXPECT_EQ(img.GetType(), 1);
    EXPECT_EQ(img.GetWidth(), 3);
    EXPECT_EQ(row_of(img, 0, 1)[1], 42);
}

TEST_F(DibLoad, RefusedSourcesLeaveTheImageAsItWas) {
    for (unsigned short bits : {9, 12, 15, 16}) {
        SCOPED_TRACE(bits);
        claimed_depth_bitmap bitmap(bits);
        tarvel::image img;
        fill_marker(img);
        EXPECT_FALSE(tarvel::copyBitmapToImage(bitmap, img));
        expect_marker(img);
    }
    // The host cannot decode these: its exception becomes false.
    tarvel::image img;
    fill_marker(img);
    EXPECT_FALSE(load({'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}, img));
    expect_marker(img);
    tarvel::CImageFileFormat_dib format;
    EXPECT_FALSE(format.Load(img, dir.file_path("missing.png").c_str(), nullptr, nullptr));
    expect_marker(img);
    EXPECT_FALSE(format.Store(img, dir.file_path("out.bmp").c_str(), nullptr));
    EXPECT_FALSE(tarvel_test::file_exists(dir.file_path("out.bmp")));
}

}  // namespace
