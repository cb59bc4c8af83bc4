// The tarvel program run as a user runs it: what each command prints, its
// exit status, and the files it leaves, for good inputs and bad ones.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "host/writers.h"
#include "image/test_access.h"
#include "imagefile/bmp_bytes.h"
#include "imagefile/image_checks.h"
#include "imagefile/imagefile.h"
#include "run_tool.h"

using namespace tarvel_test;

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::uint8_t picture(int c, int x, int y) {
    return static_cast<std::uint8_t>(40 * c + 9 * x + 17 * y);
}

// Inputs made here: an 8-bit BMP with a V5 header and a gap before its
// pixels, an RGB PNG, a cut copy of that PNG, and a text file.
class Tool : public testing::Test {
  protected:
    void SetUp() override {
        bytes bmp = make_bmp8({8, 9, 5, 0, 16, 16, 7}, index);
        // A V5 header: 84 more header bytes, and bfOffBits past them.
        bmp.insert(bmp.begin() + 54, 84, 0);
        bmp[14] = 124;
        bmp[10] = static_cast<std::uint8_t>(bmp[10] + 84);
        write_bytes(dir.file_path("v5.bmp"), bmp);

        bytes rgb;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 11; ++x)
                for (int c = 0; c < 3; ++c) rgb.push_back(picture(c, x, y));
        writePng(dir.file_path("rgb.png"), 11, 6, 2, 8, rgb);
        bytes png = read_bytes(dir.file_path("rgb.png"));
        png.resize(png.size() - 30);
        write_bytes(dir.file_path("cut.png"), png);
        std::ofstream(dir.file_path("notes.txt")) << "not a picture\n";
        mkdir(dir.file_path("empty").c_str(), 0755);
    }
    static std::uint8_t index(int, int x, int y) {
        return static_cast<std::uint8_t>((x + 2 * y) % 16);
    }
    scratch_dir dir;
};

// Failures: a non-zero status and one message line on standard error (after
// any progress lines) naming the file and the reason, and no output file left.
TEST_F(Tool, FailuresSayWhichFileAndWhyOnOneLine) {
    struct row {
        const char* args;
        const char* says;    // in standard error
        const char* absent;  // a file that must not exist afterwards
    };
    const row rows[] = {
        {"convert cut.png out.bmp", "tarvel convert: cut.png: PNG: ", "out.bmp"},
        {"convert notes.txt out.bmp", "tarvel convert: notes.txt: not a JPEG, PNG, TIFF or BMP",
         "out.bmp"},
        {"convert rgb.png empty/none/out.bmp", "tarvel convert: empty/none/out.bmp: cannot create",
         "empty/none/out.bmp"},
        {"pyramid cut.png p1", "tarvel: cut.png: PNG: ", "p1/pyramid.ini"},
        {"pyramid missing.png p2", "tarvel: missing.png: cannot open: No such file",
         "p2/pyramid.ini"},
        {"decode notes.txt", "tarvel decode: notes.txt: not a JPEG, PNG, TIFF or BMP", ""},
        {"capture empty 0 0 4 4 2 2 view.png", "empty", "view.png"},
        {"correlate missing.png rgb.png 20 20 50 50", "tarvel correlate: missing.png: No such file",
         ""},
        {"correlate notes.txt rgb.png 20 20 50 50", "tarvel correlate: notes.txt: not a JPEG",
         "notes.txt.pyramid"},
        {"correlate empty rgb.png 20 20 50 50", "tarvel correlate: empty", ""},
        {"correlate rgb.png rgb.png 5 3 5 3",
         "tarvel correlate: rgb.png: the point (5, 3) lies closer than 10 pixels", ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.args);
        const outcome o = run_tool(dir, r.args);
        EXPECT_NE(o.status, 0);
        const std::vector<std::string> messages = lines_starting(o.err, "tarvel");
        ASSERT_EQ(messages.size(), 1u) << o.err;
        EXPECT_NE(messages[0].find(r.says), std::string::npos) << o.err;
        EXPECT_EQ(o.err.rfind(messages[0] + "\n"), o.err.size() - messages[0].size() - 1) << o.err;
        if (*r.absent) {
            EXPECT_FALSE(exists(dir.file_path(r.absent)));
        }
    }
    // Usage errors come from the command line, before anything is read.
    EXPECT_NE(run_tool(dir, "").status, 0);
    EXPECT_NE(run_tool(dir, "convert").status, 0);
    EXPECT_NE(run_tool(dir, "frobnicate").status, 0);
    EXPECT_EQ(run_tool(dir, "--help").status, 0);
}

// Successes: status 0, what the command says it did, and files that hold
// the expected pixels.
TEST_F(Tool, CommandsWriteWhatTheySay) {
    outcome o = run_tool(dir, "convert --quiet v5.bmp v5-out.bmp");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("9 x 5 palette, 8-bit BMP"), std::string::npos) << o.out;
    tarvel::image img;
    ASSERT_EQ(tarvel::loadWindowsBMP(img, dir.file_path("v5-out.bmp").c_str(), nullptr), 0);
    expect_picture(img, 2, 9, 5, index, test_palette(16));

    o = run_tool(dir, "convert --quiet rgb.png rgb.bmp");
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(tarvel::loadWindowsBMP(img, dir.file_path("rgb.bmp").c_str(), nullptr), 0);
    expect_picture(img, 3, 11, 6, picture);

    o = run_tool(dir, "decode rgb.png -o decoded.png");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("rgb.png: 11 x 6 pixels, 24 bits per pixel"), std::string::npos) << o.out;
    tarvel::CImageFileFormat_dib png;
    ASSERT_TRUE(png.Load(img, dir.file_path("decoded.png").c_str(), nullptr, nullptr));
    expect_picture(img, 3, 11, 6, picture);

    o = run_tool(dir, "pyramid rgb.png pyr");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("built     pyr from rgb.png: 1 layers"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("layer 0       11 x 6      RGB"), std::string::npos) << o.out;
    o = run_tool(dir, "pyramid rgb.png pyr");
    EXPECT_NE(o.out.find("opened    pyr"), std::string::npos) << o.out;
    o = run_tool(dir, "pyramid v5.bmp pyr");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("--rebuild"), std::string::npos) << o.err;

    // A palette source is expanded to colour unless --keep-palette is given.
    o = run_tool(dir, "pyramid v5.bmp colours");
    EXPECT_NE(o.out.find("layer 0        9 x 5      RGB"), std::string::npos) << o.out;
    o = run_tool(dir, "pyramid --keep-palette v5.bmp indices");
    EXPECT_NE(o.out.find("layer 0        9 x 5      palette"), std::string::npos) << o.out;

    o = run_tool(dir, "capture pyr 0 0 11 6 11 6 view.bmp");
    ASSERT_EQ(o.status, 0) << o.err;
    ASSERT_EQ(tarvel::loadWindowsBMP(img, dir.file_path("view.bmp").c_str(), nullptr), 0);
    expect_picture(img, 3, 11, 6, picture);
}

// Two crops of the built-in sample, the second starting 37 pixels right of
// and 23 below the first and noisy: targets are found within a pixel from
// guesses up to 20 pixels off, through a picture or its pyramid directory;
// a search point too near a border is refused.
TEST_F(Tool, CorrelateFindsTheOffsetBetweenCropsOfTheSample) {
    ASSERT_EQ(run_tool(dir, "sample sample.tif --width 320 --height 260").status, 0);
    tarvel::image sample;
    ASSERT_TRUE(tarvel::CImageFileFormat_dib().Load(sample, dir.file_path("sample.tif").c_str(),
                                                    nullptr, nullptr));
    std::mt19937 rng(1);
    for (const char* name : {"a.bmp", "b.bmp"}) {
        const int shift = name[0] == 'a' ? 0 : 1, noise = 10 * shift;
        tarvel::image crop(3, 240, 200, 2);
        std::vector<unsigned char> row(240);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < 200; ++y) {
                sample.GetRegion(37 * shift, y + 23 * shift, 37 * shift + 239, y + 23 * shift, c,
                                 row.data());
                tarvel::image::pointer p(&crop, c, 0, y);
                for (int x = 0; x < 240; ++x, ++p)
                    *p = std::clamp(row[x] + int(rng() % (2 * noise + 1)) - noise, 0, 255);
            }
        ASSERT_EQ(tarvel::storeWindowsBMP(crop, dir.file_path(name).c_str(), nullptr), 0);
    }
    const char* runs[] = {"a.bmp 120 100 92 71", "a.bmp 150.5 80.25 101.5 71.25",
                          "a.bmp 90 130 73 107", "a.bmp.pyramid 120 100 92 71",
                          "a.bmp.pyramid 170.75 120 136.75 114"};
    for (const char* args : runs) {
        char first[32];
        double x1, y1, fx = 0, fy = 0, factor = 0;
        ASSERT_EQ(std::sscanf(args, "%31s %lf %lf", first, &x1, &y1), 3);
        const std::string text = std::string(args);
        const outcome o = run_tool(
            dir, "correlate " + std::string(first) + " b.bmp" + text.substr(text.find(' ')));
        ASSERT_EQ(o.status, 0) << args << o.err;
        ASSERT_EQ(std::sscanf(o.out.c_str(), "point %lf %lf factor %lf", &fx, &fy, &factor), 3);
        EXPECT_LE(std::fabs(fx - (x1 - 37)), 1.0) << args << "\n" << o.out;
        EXPECT_LE(std::fabs(fy - (y1 - 23)), 1.0) << args << "\n" << o.out;
        EXPECT_GT(factor, 0.5) << o.out;
    }
    const outcome o = run_tool(dir, "correlate a.bmp b.bmp 120 100 80 170");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "tarvel correlate: b.bmp: the point (80, 170) lies closer than 40 pixels to a "
              "border of this 240 x 200 picture, which the 76 x 76 search window needs\n");
}

}  // namespace
