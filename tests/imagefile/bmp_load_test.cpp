// Reading BMP files made by hand: row orders, offsets, padding, palettes, and
// every kind of file that must be refused without touching the image.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "image_checks.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

namespace {

using tarvel_test::bmp_recipe;
using tarvel_test::bytes;
using tarvel_test::row_of;

void picture(int x, int y, std::uint8_t rgb[3]) {
    rgb[0] = static_cast<std::uint8_t>(x * 37 + y * 11);
    rgb[1] = static_cast<std::uint8_t>(x * 5 + y * 91 + 7);
    rgb[2] = static_cast<std::uint8_t>((x ^ y) * 13 + 1);
}

std::uint8_t indices(int x, int y) {
    return static_cast<std::uint8_t>((x * 3 + y * 7) % 16);
}

class BmpLoad : public testing::Test {
  protected:
    std::string load_from(const bytes& file, tarvel::image& img, int* result) {
        const std::string path = dir.file_path("in.bmp");
        tarvel_test::write_bytes(path, file);
        *result = tarvel::loadWindowsBMP(img, path.c_str(), nullptr);
        return path;
    }
    void expect_refused(const bytes& file);
    tarvel_test::scratch_dir dir;
};

// Widths 1 to 5 need 1, 2, 3, 0 and 1 padding bytes per 24-bit row.
TEST_F(BmpLoad, TwentyFourBitRowOrdersOffsetsAndPadding) {
    for (int width = 1; width <= 5; ++width) {
        for (int height : {1, 3}) {
            for (bool topDown : {false, true}) {
                for (std::uint32_t gap : {0u, 10u}) {
                    SCOPED_TRACE(testing::Message() << width << " x " << height << " top-down "
                                                    << topDown << " gap " << gap);
                    bmp_recipe recipe;
                    recipe.width = width;
                    recipe.height = topDown ? -height : height;
                    recipe.gap = gap;
                    tarvel::image img;
                    int result = -2;
                    load_from(tarvel_test::make_bmp24(recipe, picture), img, &result);
                    ASSERT_EQ(result, 0);
                    tarvel_test::expect_rgb_picture(img, width, height, picture);
                }
            }
        }
    }
}

TEST_F(BmpLoad, EightBitIndicesAndShortColourTables) {
    struct table_case {
        int colours;
        std::uint32_t clrUsed;
        int set;
    };
    // 16 entries in the file; all 256 with biClrUsed 0.
    const table_case tables[] = {{16, 16, 16}, {256, 0, 256}, {1, 1, 1}};
    for (const table_case& t : tables) {
        for (int width = 1; width <= 5; ++width) {
            for (bool topDown : {false, true}) {
                SCOPED_TRACE(testing::Message() << t.colours << " colours, width " << width
                                                << " top-down " << topDown);
                bmp_recipe recipe;
                recipe.bits = 8;
                recipe.width = width;
                recipe.height = topDown ? -4 : 4;
                recipe.colours = t.colours;
                recipe.clrUsed = t.clrUsed;
                auto pixel = [&](int x, int y) {
                    return static_cast<std::uint8_t>(indices(x, y) % t.colours);
                };
                tarvel::image img;
                int result = -2;
                load_from(tarvel_test::make_bmp8(recipe, pixel), img, &result);
                ASSERT_EQ(result, 0);
                ASSERT_EQ(img.GetType(), 2);
                const unsigned char* palette = img.GetPalette();
                for (int i = 0; i < 256; ++i) {
                    const bool set = i < t.set;
                    EXPECT_EQ(palette[3 * i], set ? 255 - i : 0) << "entry " << i;
                    EXPECT_EQ(palette[3 * i + 1], set ? (2 * i) & 0xff : 0) << "entry " << i;
                    EXPECT_EQ(palette[3 * i + 2], set ? i : 0) << "entry " << i;
                }
                for (int y = 0; y < 4; ++y) {
                    const auto row = row_of(img, 0, y);
                    for (int x = 0; x < width; ++x) EXPECT_EQ(row[x], pixel(x, y));
                }
            }
        }
    }
}

// A 7 x 5 RGB image whose pixel (3, 2) is 99 in every channel.
void fill_marker(tarvel::image& img) {
    ASSERT_TRUE(img.Create(3, 7, 5, 0));
    for (int c = 0; c < 3; ++c) {
        tarvel::image::pointer p(&img, c, 3, 2);
        *p = 99;
    }
}

void expect_marker(tarvel::image& img) {
    ASSERT_TRUE(img.IsValid());
    EXPECT_EQ(img.GetType(), 3);
    EXPECT_EQ(img.GetWidth(), 7);
    EXPECT_EQ(img.GetHeight(), 5);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(row_of(img, c, 2)[3], 99);
}

// The file is refused and an image holding the marker keeps it.
void BmpLoad::expect_refused(const bytes& file) {
    tarvel::image img;
    fill_marker(img);
    int result = 0;
    load_from(file, img, &result);
    EXPECT_EQ(result, -1);
    expect_marker(img);
}

TEST_F(BmpLoad, OtherDepthsCompressionAndMagicAreRefusedLeavingTheImage) {
    struct refused {
        const char* what;
        int bits;
        std::uint32_t compression;
        std::uint16_t planes;
        const char* magic;
        std::uint32_t clrUsed;
        int colours;
    };
    const refused cases[] = {
        {"16-bit", 16, 0, 1, "BM", 0, 0},     {"32-bit", 32, 0, 1, "BM", 0, 0},
        {"4-bit", 4, 0, 1, "BM", 0, 16},      {"1-bit", 1, 0, 1, "BM", 0, 2},
        {"RLE8", 8, 1, 1, "BM", 0, 256},      {"RLE4", 4, 2, 1, "BM", 0, 16},
        {"bit fields", 24, 3, 1, "BM", 0, 0}, {"two planes", 24, 0, 2, "BM", 0, 0},
        {"magic", 24, 0, 1, "MB", 0, 0},      {"257 colours", 8, 0, 1, "BM", 257, 256},
    };
    for (const refused& r : cases) {
        SCOPED_TRACE(r.what);
        bmp_recipe recipe;
        recipe.bits = r.bits;
        recipe.width = 6;
        recipe.height = 4;
        recipe.compression = r.compression;
        recipe.planes = r.planes;
        recipe.magic = r.magic;
        recipe.clrUsed = r.clrUsed;
        recipe.colours = r.colours;
        // Plenty of pixel bytes, so only the header can be the reason.
        bytes file = tarvel_test::make_bmp24(recipe, picture);
        file.resize(file.size() + 4096, 0);
        expect_refused(file);
    }
}

// Headers that promise more than the file holds, or sizes no image can have.
TEST_F(BmpLoad, BadSizesAndShortFilesAreRefusedBeforeTheImageIsTouched) {
    struct bad {
        const char* what;
        int bits;
        int width;
        int height;
        std::size_t keep;
    };
    const std::size_t all = SIZE_MAX;
    const bad cases[] = {
        {"zero width", 24, 0, 4, all},
        {"negative width", 24, -3, 4, all},
        {"zero height", 24, 6, 0, all},
        {"INT_MIN height", 24, 6, INT_MIN, all},
        {"one row missing", 24, 6, 4, 54 + 3 * 20},
        {"last padding byte missing", 24, 6, 4, 54 + 4 * 20 - 1},
        {"top-down, short", 24, 6, -4, 54 + 2 * 20},
        {"8-bit, one row missing", 8, 6, 4, 1078 + 3 * 8},
        {"8-bit, table cut", 8, 6, 4, 54 + 100},
        {"header cut", 24, 6, 4, 30},
        {"empty file", 24, 6, 4, 0},
    };
    for (const bad& b : cases) {
        SCOPED_TRACE(b.what);
        bmp_recipe recipe;
        recipe.bits = b.bits;
        recipe.width = b.width > 0 ? b.width : 6;
        recipe.height = b.height == INT_MIN || b.height == 0 ? 4 : b.height;
        recipe.colours = b.bits == 8 ? 256 : 0;
        bytes file = b.bits == 8 ? tarvel_test::make_bmp8(recipe, indices)
                                 : tarvel_test::make_bmp24(recipe, picture);
        // Patch the declared size after building a valid picture.
        for (int i = 0; i < 4; ++i) {
            file[18 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(b.width) >> 8 * i);
            file[22 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(b.height) >> 8 * i);
        }
        if (b.keep != all) file.resize(b.keep);
        expect_refused(file);
    }
}

TEST_F(BmpLoad, AbsurdDeclarationsAndUnreadablePathsAreRefused) {
    struct absurd {
        const char* what;
        std::int32_t width, height;
        std::uint32_t offBits;
    };
    const absurd cases[] = {
        {"100000 x 100000", 100000, 100000, 54},
        {"100000 x -100000", 100000, -100000, 54},
        {"plane beyond 2^31", 65536, 32768, 54},
        {"row of 2^31 - 1 pixels", INT_MAX, 1, 54},
        {"pixels far beyond the end", 2, 2, 0xfffffff0u},
    };
    for (const absurd& a : cases) {
        SCOPED_TRACE(a.what);
        bmp_recipe recipe;
        recipe.width = 2;
        recipe.height = 2;
        bytes file = tarvel_test::make_bmp24(recipe, picture);
        file.resize(100, 0);
        for (int i = 0; i < 4; ++i) {
            file[10 + i] = static_cast<std::uint8_t>(a.offBits >> 8 * i);
            file[18 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(a.width) >> 8 * i);
            file[22 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(a.height) >> 8 * i);
        }
        expect_refused(file);
    }
    tarvel::image img;
    fill_marker(img);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.file_path("missing.bmp").c_str(), nullptr), -1);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.path().c_str(), nullptr), -1);  // a directory
    expect_marker(img);
}

}  // namespace
