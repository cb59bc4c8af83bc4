// CPngWriter: DIB rows of every depth come back from the file as written, in
// the PNG kind that suits them; failures leave no file behind.
#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>

#include "../image/test_access.h"
#include "host/png_writer.h"

namespace tarvel_test {

namespace {

struct read_back {
    int width = 0, height = 0;
    png_uint_32 format = 0;
    std::vector<unsigned char> rgb;
};

read_back read_png_rgb(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    read_back r;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return r;
    r.format = image.format;
    image.format = PNG_FORMAT_RGB;
    r.width = static_cast<int>(image.width);
    r.height = static_cast<int>(image.height);
    r.rgb.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, r.rgb.data(), 0, nullptr);
    return r;
}

}  // namespace

TEST(PngWriter, EveryRowDepthComesBack) {
    scratch_dir dir;
    const int W = 5, H = 7;
    RGBQUAD grey[256], palette[3] = {{10, 20, 30, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
    for (int i = 0; i < 256; ++i) grey[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    const struct {
        int bits;
        const RGBQUAD* table;
        int colours;
        png_uint_32 format;
    } kinds[] = {{8, grey, 256, PNG_FORMAT_GRAY},
                 {8, palette, 3, PNG_FORMAT_RGB_COLORMAP},
                 {24, nullptr, 0, PNG_FORMAT_RGB},
                 {32, nullptr, 0, PNG_FORMAT_RGB}};
    for (const auto& k : kinds) {
        for (int level : {0, KORBAS::kPngFastLevel, KORBAS::kPngSmallLevel}) {
            const int bytes = k.bits / 8, stride = (W * bytes + 3) / 4 * 4 + 4;
            std::vector<unsigned char> rows(static_cast<size_t>(stride) * H, 0xee);
            std::vector<unsigned char> expected;  // red, green, blue
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    unsigned char* p = &rows[y * stride + x * bytes];
                    if (k.bits == 8) {
                        *p = static_cast<unsigned char>(k.colours == 3 ? (x + y) % 3 : x * 40 + y);
                        const RGBQUAD& q = k.table[*p];
                        expected.insert(expected.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
                    } else {
                        for (int b = 0; b < bytes; ++b)
                            p[b] = static_cast<unsigned char>(x * 50 + y * 3 + b);
                        expected.insert(expected.end(), {p[2], p[1], p[0]});
                    }
                }
            const std::string path = dir.path() + "out.png";
            KORBAS::CPngWriter w;
            ASSERT_TRUE(w.Open(path.c_str(), W, H, k.bits, k.table, k.colours, level))
                << w.GetError();
            ASSERT_TRUE(w.WriteRows(rows.data(), 3, stride));  // in two bands
            ASSERT_TRUE(w.WriteRows(rows.data() + 3 * stride, H - 3, stride));
            ASSERT_TRUE(w.Finish()) << w.GetError();
            const read_back r = read_png_rgb(path);
            EXPECT_EQ(r.format, k.format) << k.bits << " bits, level " << level;
            EXPECT_EQ(r.width * 100 + r.height, W * 100 + H);
            EXPECT_EQ(r.rgb, expected) << k.bits << " bits, level " << level;
            EXPECT_EQ(dir.files(), std::vector<std::string>{"out.png"});
        }
    }
}

TEST(PngWriter, FailuresSayWhyAndLeaveNoFile) {
    scratch_dir dir;
    const std::string path = dir.path() + "out.png";
    unsigned char row[16] = {};
    RGBQUAD one{0, 0, 0, 0};
    const struct {
        int width, height, bits, colours, level;
        const char* says;
    } refused[] = {{0, 5, 24, 0, 1, "at least one pixel"},
                   {5, 5, 16, 0, 1, "8, 24 or 32"},
                   {5, 5, 8, 0, 1, "colour table"},
                   {5, 5, 8, 257, 1, "colour table"},
                   {5, 5, 24, 0, 10, "level"}};
    for (const auto& r : refused) {
        KORBAS::CPngWriter w;
        EXPECT_FALSE(w.Open(path.c_str(), r.width, r.height, r.bits, &one, r.colours, r.level));
        EXPECT_NE(w.GetError().find(r.says), std::string::npos) << w.GetError();
    }
    {
        KORBAS::CPngWriter w;
        EXPECT_FALSE(w.Open((dir.path() + "missing/out.png").c_str(), 4, 4, 24, nullptr, 0));
        EXPECT_NE(w.GetError().find("missing/out.png"), std::string::npos) << w.GetError();
    }
    {  // too many rows, then too few
        KORBAS::CPngWriter w;
        ASSERT_TRUE(w.Open(path.c_str(), 4, 2, 24, nullptr, 0));
        EXPECT_FALSE(w.WriteRows(row, 3, 16));
        EXPECT_FALSE(w.Finish());
        KORBAS::CPngWriter v;
        ASSERT_TRUE(v.Open(path.c_str(), 4, 2, 24, nullptr, 0));
        ASSERT_TRUE(v.WriteRows(row, 1, 16));
        EXPECT_FALSE(v.Finish());
        EXPECT_NE(v.GetError().find("rows are missing"), std::string::npos);
    }
    {  // abandoned
        KORBAS::CPngWriter w;
        ASSERT_TRUE(w.Open(path.c_str(), 4, 2, 24, nullptr, 0));
        ASSERT_TRUE(w.WriteRows(row, 1, 16));
    }
    EXPECT_TRUE(dir.files().empty());
}

}  // namespace tarvel_test
