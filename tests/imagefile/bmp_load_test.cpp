// Reading BMP files made by hand: row orders, offsets, padding, palettes, and
// every kind of file that must be refused without touching the image.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image_checks.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

using namespace tarvel_test;

namespace {

std::uint8_t picture(int c, int x, int y) {
    return static_cast<std::uint8_t>(x * (37 - 16 * c) + y * (11 + 40 * c) + 7 * c + (x ^ y) * c);
}

class BmpLoad : public testing::Test {
  protected:
    int load(const bytes& file, tarvel::image& img) {
        write_bytes(dir.file_path("in.bmp"), file);
        return tarvel::loadWindowsBMP(img, dir.file_path("in.bmp").c_str(), nullptr);
    }
    // The file is refused and an image holding the marker keeps it.
    void expect_refused(const bytes& file) {
        tarvel::image img;
        mark(img);
        EXPECT_EQ(load(file, img), -1);
        expect_marker(img);
    }
    scratch_dir dir;
};

// Widths 1 to 5 need 1, 2, 3, 0 and 1 padding bytes per 24-bit row (3, 2, 1,
// 0, 3 per 8-bit row); a gap moves the 24-bit pixels to bfOffBits.
TEST_F(BmpLoad, RowOrdersOffsetsPaddingAndShortColourTables) {
    for (int width = 1; width <= 5; ++width) {
        for (int height : {1, 3, -1, -3}) {
            for (std::uint32_t gap : {0u, 10u}) {
                SCOPED_TRACE(testing::Message() << width << " x " << height << " gap " << gap);
                tarvel::image img;
                ASSERT_EQ(load(make_bmp24({24, width, height, 0, 0, 0, gap}, picture), img), 0);
                expect_picture(img, 3, width, std::abs(height), picture);
                if (gap != 0) continue;  // 8-bit pixels always follow the table
                // {entries in the file, biClrUsed}: biClrUsed 0 means all 256.
                for (auto table : {std::pair<int, std::uint32_t>{16, 16}, {256, 0}, {1, 1}}) {
                    auto pixel = [&](int, int x, int y) {
                        return static_cast<std::uint8_t>((x * 3 + y * 7) % table.first);
                    };
                    const bmp_recipe r{8, width, height, 0, table.first, table.second};
                    ASSERT_EQ(load(make_bmp8(r, pixel), img), 0) << table.first << " colours";
                    expect_picture(img, 2, width, std::abs(height), pixel,
                                   test_palette(table.first));
                }
            }
        }
    }
}

// Depths other than 8 and 24, compression, too many colours, and headers
// that promise more than the file holds or sizes no image can have: refused
// before the image is touched or much is allocated.
TEST_F(BmpLoad, UnsupportedAndBadFilesAreRefusedLeavingTheImage) {
    // Header fields: offBits at 10, width 18, height 22, bits 28 (written with
    // the zero low half of compression), compression 30, clrUsed 46.
    struct bad {
        const char* what;
        std::vector<std::pair<int, std::uint32_t> > set;  // offset, 32-bit value
        std::size_t keep = SIZE_MAX;  // bytes kept; SIZE_MAX: all, and 4 KiB of pixels more
        bool eightBit = false;
    };
    const bad cases[] = {
        {"16 bits", {{28, 16}}},
        {"32 bits", {{28, 32}}},
        {"4 bits", {{28, 4}}},
        {"run lengths", {{30, 1}}, SIZE_MAX, true},
        {"bit fields", {{30, 3}}},
        {"257 colours", {{46, 257}}, SIZE_MAX, true},
        {"zero width", {{18, 0}}},
        {"negative width", {{18, std::uint32_t(-3)}}},
        {"zero height", {{22, 0}}},
        {"INT_MIN height", {{22, 0x80000000u}}},
        {"one row missing", {}, 54 + 3 * 20},
        {"8-bit, one row missing", {}, 1078 + 3 * 8, true},
        {"8-bit, table cut", {}, 54 + 100, true},
        {"header cut", {}, 30},
        {"100000 x 100000", {{18, 100000}, {22, 100000}}, 100},
        {"plane beyond 2^31", {{18, 65536}, {22, 32768}}, 100},
        {"row of 2^31 - 1 pixels", {{18, INT_MAX}, {22, 1}}, 100},
        {"pixels far beyond the end", {{10, 0xfffffff0u}}},
    };
    const long before = peak_kib();
    for (const bad& b : cases) {
        SCOPED_TRACE(b.what);
        bytes file =
            b.eightBit ? make_bmp8({8, 6, 4, 0, 256}, picture) : make_bmp24({24, 6, 4}, picture);
        for (const auto& field : b.set) {
            for (int i = 0; i < 4; ++i)
                file[field.first + i] = static_cast<std::uint8_t>(field.second >> 8 * i);
        }
        file.resize(b.keep == SIZE_MAX ? file.size() + 4096 : b.keep);
        expect_refused(file);
    }
    EXPECT_LT(peak_kib() - before, 64 << 10) << "KiB of peak memory grew";
    tarvel::image img;
    mark(img);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.file_path("missing.bmp").c_str(), nullptr), -1);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.path().c_str(), nullptr), -1);  // a directory
    expect_marker(img);
}

}  // namespace
