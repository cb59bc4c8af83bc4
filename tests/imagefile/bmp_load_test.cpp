// Reading BMP files made by hand: row orders, offsets, padding, palettes, and
// every kind of file that must be refused without touching the image.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "bmp_bytes.h"
#include "image_checks.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

namespace {

using tarvel_test::bmp_recipe;
using tarvel_test::bytes;

void picture(int x, int y, std::uint8_t rgb[3]) {
    rgb[0] = static_cast<std::uint8_t>(x * 37 + y * 11);
    rgb[1] = static_cast<std::uint8_t>(x * 5 + y * 91 + 7);
    rgb[2] = static_cast<std::uint8_t>((x ^ y) * 13 + 1);
}

std::uint8_t index(int x, int y) {
    return static_cast<std::uint8_t>(x + y);
}

class BmpLoad : public testing::Test {
  protected:
    int load(const bytes& file, tarvel::image& img) {
        const std::string path = dir.file_path("in.bmp");
        tarvel_test::write_bytes(path, file);
        return tarvel::loadWindowsBMP(img, path.c_str(), nullptr);
    }
    // The file is refused and an image holding the marker keeps it.
    void expect_refused(const bytes& file) {
        tarvel::image img;
        tarvel_test::mark(img);
        EXPECT_EQ(load(file, img), -1);
        tarvel_test::expect_marker(img);
    }
    tarvel_test::scratch_dir dir;
};

// Widths 1 to 5 need 1, 2, 3, 0 and 1 padding bytes per 24-bit row.
TEST_F(BmpLoad, TwentyFourBitRowOrdersOffsetsAndPadding) {
    for (int width = 1; width <= 5; ++width) {
        for (int height : {1, 3, -1, -3}) {
            for (std::uint32_t gap : {0u, 10u}) {
                SCOPED_TRACE(testing::Message() << width << " x " << height << " gap " << gap);
                tarvel::image img;
                ASSERT_EQ(
                    load(tarvel_test::make_bmp24({24, width, height, 0, 0, 0, gap}, picture), img),
                    0);
                tarvel_test::expect_rgb_picture(img, width, std::abs(height), picture);
            }
        }
    }
}

TEST_F(BmpLoad, EightBitIndicesAndShortColourTables) {
    // {entries in the file, biClrUsed}: biClrUsed 0 means all 256.
    for (auto table : {std::pair<int, std::uint32_t>{16, 16}, {256, 0}, {1, 1}}) {
        for (int width = 1; width <= 5; ++width) {
            for (int height : {4, -4}) {
                SCOPED_TRACE(testing::Message()
                             << table.first << " colours, " << width << " x " << height);
                auto pixel = [&](int x, int y) {
                    return static_cast<std::uint8_t>((x * 3 + y * 7) % table.first);
                };
                tarvel::image img;
                ASSERT_EQ(load(tarvel_test::make_bmp8(
                                   {8, width, height, 0, table.first, table.second}, pixel),
                               img),
                          0);
                tarvel_test::expect_palette_picture(img, width, 4, pixel,
                                                    tarvel_test::test_palette(table.first));
            }
        }
    }
}

// Depths other than 8 and 24, compression, bad magic or planes, and headers
// that promise more than the file holds or sizes no image can have: refused
// before the image is touched or much is allocated.
TEST_F(BmpLoad, UnsupportedAndBadFilesAreRefusedLeavingTheImage) {
    const bmp_recipe unsupported[] = {{16, 6, 4},
                                      {32, 6, 4},
                                      {4, 6, 4, 0, 16},
                                      {1, 6, 4, 0, 2},
                                      {8, 6, 4, 1, 256},
                                      {4, 6, 4, 2, 16},
                                      {24, 6, 4, 3},
                                      {8, 6, 4, 0, 256, 257},
                                      {24, 6, 4, 0, 0, 0, 0, 2},
                                      {24, 6, 4, 0, 0, 0, 0, 1, "MB"}};
    for (const bmp_recipe& r : unsupported) {
        SCOPED_TRACE(testing::Message() << r.bits << " bits, compression " << r.compression
                                        << ", clrUsed " << r.clrUsed << ", " << r.magic);
        bytes file = tarvel_test::make_bmp24(r, picture);
        file.resize(file.size() + 4096, 0);  // plenty of pixel bytes: only the header is wrong
        expect_refused(file);
    }
    struct bad {
        const char* what;
        int bits;
        std::int32_t width, height;
        std::size_t keep;
        std::uint32_t offBits;
    };
    const std::size_t all = SIZE_MAX;
    const bad cases[] = {
        {"zero width", 24, 0, 4, all, 54},
        {"negative width", 24, -3, 4, all, 54},
        {"zero height", 24, 6, 0, all, 54},
        {"INT_MIN height", 24, 6, INT_MIN, all, 54},
        {"one row missing", 24, 6, 4, 54 + 3 * 20, 54},
        {"last padding byte missing", 24, 6, 4, 54 + 4 * 20 - 1, 54},
        {"top-down, short", 24, 6, -4, 54 + 2 * 20, 54},
        {"8-bit, one row missing", 8, 6, 4, 1078 + 3 * 8, 1078},
        {"8-bit, table cut", 8, 6, 4, 54 + 100, 1078},
        {"header cut", 24, 6, 4, 30, 54},
        {"empty file", 24, 6, 4, 0, 54},
        {"100000 x 100000", 24, 100000, 100000, 100, 54},
        {"100000 x -100000", 24, 100000, -100000, 100, 54},
        {"plane beyond 2^31", 24, 65536, 32768, 100, 54},
        {"row of 2^31 - 1 pixels", 24, INT_MAX, 1, 100, 54},
        {"pixels far beyond the end", 24, 2, 2, all, 0xfffffff0u},
    };
    const long before = tarvel_test::peak_kib();
    for (const bad& b : cases) {
        SCOPED_TRACE(b.what);
        bytes file = b.bits == 8 ? tarvel_test::make_bmp8({8, 6, 4, 0, 256}, index)
                                 : tarvel_test::make_bmp24({24, 6, 4}, picture);
        for (int i = 0; i < 4; ++i) {
            file[10 + i] = static_cast<std::uint8_t>(b.offBits >> 8 * i);
            file[18 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(b.width) >> 8 * i);
            file[22 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(b.height) >> 8 * i);
        }
        if (b.keep != all) file.resize(b.keep);
        expect_refused(file);
    }
    EXPECT_LT(tarvel_test::peak_kib() - before, 64 << 10) << "KiB of peak memory grew";
    tarvel::image img;
    tarvel_test::mark(img);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.file_path("missing.bmp").c_str(), nullptr), -1);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.path().c_str(), nullptr), -1);  // a directory
    tarvel_test::expect_marker(img);
}

}  // namespace
