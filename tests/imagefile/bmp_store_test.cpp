// Writing BMP files: the bytes on disk, checked field by field, and round trips
// through the reader for RGB, palette and grey images of one and many pages.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

namespace {

using tarvel_test::bytes;
using tarvel_test::le16;
using tarvel_test::le32;

std::uint8_t sample(int c, int x, int y) {
    return static_cast<std::uint8_t>(x * 7 + y * 13 + c * 101 + (x * y) % 5);
}

void fill(tarvel::image& img) {
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        tarvel::image::pointer p(&img, c, 0);
        for (int y = 0; y < img.GetHeight(); ++y) {
            for (int x = 0; x < img.GetWidth(); ++x, ++p) *p = sample(c, x, y);
        }
    }
}

// Every sample of every channel equals sample(c, x, y); counts mismatches.
int mismatches(tarvel::image& img, int channels) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(img.GetWidth()));
    int wrong = 0;
    for (int c = 0; c < channels; ++c) {
        for (int y = 0; y < img.GetHeight(); ++y) {
            img.GetRegion(0, y, img.GetWidth() - 1, y, c, row.data());
            for (int x = 0; x < img.GetWidth(); ++x) wrong += row[x] != sample(c, x, y);
        }
    }
    return wrong;
}

void expect_header(const bytes& f, int bits, int width, int height) {
    const std::uint32_t table = bits == 8 ? 1024 : 0;
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * bits / 8 + 3) / 4 * 4;
    ASSERT_EQ(f.size(), 54 + table + rowBytes * height);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(le32(f, 2), f.size());
    EXPECT_EQ(le32(f, 6), 0u);
    EXPECT_EQ(le32(f, 10), 54 + table);
    EXPECT_EQ(le32(f, 14), 40u);
    EXPECT_EQ(le32(f, 18), static_cast<std::uint32_t>(width));
    EXPECT_EQ(le32(f, 22), static_cast<std::uint32_t>(height));
    EXPECT_EQ(le16(f, 26), 1);
    EXPECT_EQ(le16(f, 28), bits);
    EXPECT_EQ(le32(f, 30), 0u);
    EXPECT_EQ(le32(f, 34), rowBytes * height);
    EXPECT_EQ(le32(f, 38), 2835u);
    EXPECT_EQ(le32(f, 42), 2835u);
    EXPECT_EQ(le32(f, 46), bits == 8 ? 256u : 0u);
    EXPECT_EQ(le32(f, 50), 0u);
}

class BmpStore : public testing::Test {
  protected:
    tarvel_test::scratch_dir dir;
    std::string out = dir.file_path("out.bmp");
};

TEST_F(BmpStore, TwentyFourBitBytesAndRoundTrip) {
    for (int width = 1; width <= 5; ++width) {
        for (int height : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height);
            tarvel::image img(3, width, height, 0);
            fill(img);
            ASSERT_EQ(tarvel::storeWindowsBMP(img, out.c_str(), nullptr), 0);
            const bytes f = tarvel_test::read_bytes(out);
            expect_header(f, 24, width, height);
            const std::size_t rowBytes = (3 * width + 3) / 4 * 4;
            // Bottom-up rows of blue, green, red.
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const std::size_t at = 54 + (height - 1 - y) * rowBytes + 3 * x;
                    EXPECT_EQ(f[at], sample(2, x, y));
                    EXPECT_EQ(f[at + 1], sample(1, x, y));
                    EXPECT_EQ(f[at + 2], sample(0, x, y));
                }
            }
            tarvel::image back;
            ASSERT_EQ(tarvel::loadWindowsBMP(back, out.c_str(), nullptr), 0);
            EXPECT_EQ(back.GetType(), 3);
            EXPECT_EQ(mismatches(back, 3), 0);
        }
    }
    tarvel::image one(3, 1, 1, 0);
    ASSERT_EQ(tarvel::storeWindowsBMP(one, out.c_str(), nullptr), 0);
    EXPECT_EQ(tarvel_test::read_bytes(out).size(), 58u);
}

TEST_F(BmpStore, PaletteAndGreyImagesWriteEightBitFiles) {
    std::mt19937 random(5);
    for (int type : {2, 1}) {
        SCOPED_TRACE(type == 2 ? "palette" : "grey");
        tarvel::image img(type, 5, 3, 0);
        fill(img);
        std::vector<std::uint8_t> palette(768);
        if (type == 2) {
            for (auto& b : palette) b = static_cast<std::uint8_t>(random());
            std::copy(palette.begin(), palette.end(), img.GetPalette());
        } else {
            for (int i = 0; i < 768; ++i) palette[i] = static_cast<std::uint8_t>(i / 3);
        }
        ASSERT_EQ(tarvel::storeWindowsBMP(img, out.c_str(), nullptr), 0);
        const bytes f = tarvel_test::read_bytes(out);
        expect_header(f, 8, 5, 3);
        EXPECT_EQ(f.size(), 1078u + 8 * 3);
        for (int i = 0; i < 256; ++i) {
            EXPECT_EQ(f[54 + 4 * i], palette[3 * i + 2]);
            EXPECT_EQ(f[54 + 4 * i + 1], palette[3 * i + 1]);
            EXPECT_EQ(f[54 + 4 * i + 2], palette[3 * i]);
            EXPECT_EQ(f[54 + 4 * i + 3], 0);
        }
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) EXPECT_EQ(f[1078 + (2 - y) * 8 + x], sample(0, x, y));
        }
        tarvel::image back;
        ASSERT_EQ(tarvel::loadWindowsBMP(back, out.c_str(), nullptr), 0);
        EXPECT_EQ(back.GetType(), 2);
        EXPECT_EQ(std::vector<std::uint8_t>(back.GetPalette(), back.GetPalette() + 768), palette);
        EXPECT_EQ(mismatches(back, 1), 0);
    }
}

TEST_F(BmpStore, ShortColourTableIsWrittenAsFullTable) {
    tarvel_test::bmp_recipe recipe;
    recipe.bits = 8;
    recipe.width = 3;
    recipe.height = 2;
    recipe.colours = 16;
    recipe.clrUsed = 16;
    const std::string in = dir.file_path("in.bmp");
    tarvel_test::write_bytes(in, tarvel_test::make_bmp8(recipe, [](int x, int y) {
                                 return static_cast<std::uint8_t>(x + 3 * y);
                             }));
    tarvel::image img;
    ASSERT_EQ(tarvel::loadWindowsBMP(img, in.c_str(), nullptr), 0);
    ASSERT_EQ(tarvel::storeWindowsBMP(img, out.c_str(), nullptr), 0);
    const bytes f = tarvel_test::read_bytes(out);
    EXPECT_EQ(le32(f, 46), 256u);
    for (int i = 0; i < 256; ++i) {
        const bool set = i < 16;
        EXPECT_EQ(f[54 + 4 * i], set ? i : 0);
        EXPECT_EQ(f[54 + 4 * i + 1], set ? 2 * i : 0);
        EXPECT_EQ(f[54 + 4 * i + 2], set ? 255 - i : 0);
        EXPECT_EQ(f[54 + 4 * i + 3], 0);
    }
}

TEST_F(BmpStore, FourChannelsWriteThreeAndNothingIsWrittenOnFailure) {
    tarvel::image four(3, 4, 2, 3);
    ASSERT_EQ(four.GetChannelCount(), 4);
    fill(four);
    ASSERT_EQ(tarvel::storeWindowsBMP(four, out.c_str(), nullptr), 0);
    expect_header(tarvel_test::read_bytes(out), 24, 4, 2);
    tarvel::image back;
    ASSERT_EQ(tarvel::loadWindowsBMP(back, out.c_str(), nullptr), 0);
    EXPECT_EQ(back.GetChannelCount(), 3);
    EXPECT_EQ(mismatches(back, 3), 0);

    tarvel::image empty;
    const std::string none = dir.file_path("none.bmp");
    EXPECT_EQ(tarvel::storeWindowsBMP(empty, none.c_str(), nullptr), -1);
    EXPECT_FALSE(tarvel_test::file_exists(none));
    EXPECT_EQ(tarvel::storeWindowsBMP(four, (dir.path() + "no/such/dir.bmp").c_str(), nullptr), -1);
    // Write errors are reported; a device is never removed.
    if (tarvel_test::file_exists("/dev/full")) {
        EXPECT_EQ(tarvel::storeWindowsBMP(four, "/dev/full", nullptr), -1);
        EXPECT_TRUE(tarvel_test::file_exists("/dev/full"));
    }
}

// An image of many pages, more than the cache holds, so rows are read and
// written while pages move between memory and page files.
TEST_F(BmpStore, ImagesLargerThanTheCacheRoundTrip) {
    tarvel::image img;
    img.SetTempPath(dir.path().c_str());
    ASSERT_TRUE(img.Create(3, 1501, 4000, 0));
    ASSERT_GT(img.GetPageCount() * 3, img.GetCacheLimit());
    fill(img);
    ASSERT_EQ(tarvel::storeWindowsBMP(img, out.c_str(), nullptr), 0);
    tarvel::image back;
    back.SetTempPath(dir.path().c_str());
    ASSERT_EQ(tarvel::loadWindowsBMP(back, out.c_str(), nullptr), 0);
    EXPECT_EQ(mismatches(back, 3), 0);
}

}  // namespace

namespace {

// Counts what the reader and writer report.
class counting_progress : public KORBAS::IProgressWork {
  public:
    int phases = 0;
    int total = 0;
    int steps = 0;
    void SetTotal(int t) override {
        ++phases;
        total = t;
        steps = 0;
    }
    void Advance(int n) override { steps += n; }
    void SetText(const char*) override {}
};

TEST_F(BmpStore, ProgressIsOneStepPerRow) {
    for (int type : {3, 2}) {
        SCOPED_TRACE(type == 3 ? "24-bit" : "8-bit");
        tarvel::image img(type, 7, 9, 0);
        fill(img);
        counting_progress writing;
        tarvel::CImageFileFormat_bmp out_format;
        out_format.SetStoreProgress(&writing);
        ASSERT_TRUE(out_format.Store(img, out.c_str(), nullptr));
        EXPECT_EQ(writing.phases, 1);
        EXPECT_EQ(writing.total, 9);
        EXPECT_EQ(writing.steps, 9);

        counting_progress reading;
        tarvel::CImageFileFormat_bmp in_format;
        tarvel::image back;
        ASSERT_TRUE(in_format.Load(back, out.c_str(), nullptr, &reading));
        EXPECT_EQ(reading.phases, 1);
        EXPECT_EQ(reading.total, 9);
        EXPECT_EQ(reading.steps, 9);
    }
}

}  // namespace
