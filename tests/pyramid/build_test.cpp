// Building pyramids from image files: layers as box averages, pyramid.ini,
// progress, another process opening the result, bad sources and directories,
// replacement of an earlier pyramid and cleanup after a failure.
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "host/writers.h"
#include "module/module.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

TEST(PyramidModel, LayerCounts) {
    // Halve while a side is above 240, never to a side of 0. 10000 x 8000:
    // 5000 x 4000, 2500 x 2000, 1250 x 1000, 625 x 500, 312 x 250, 156 x 125.
    // Sides just below 2^31 need at most 25 layers: the cap on opened counts.
    const int counts[][3] = {
        {10000, 8000, 7},         {482, 300, 3}, {1000, 3, 2}, {0, 5, 0}, {2147483647, 1 << 20, 21},
        {2147483647, 1 << 30, 25}};
    for (const auto& [width, height, n] : counts)
        EXPECT_EQ(pyramid::CountLayers(width, height), n) << width << " x " << height;
}

TEST(PyramidBuild, LayersProfileAndProgressOfWorkedExamples) {
    // Each layer the box average of the one above, for RGB and palette
    // sources; the sink sees the text naming the layers, the source's rows as
    // the total and one advance per row decoded.
    const int examples[][4] = {
        {3, 960, 600, 3}, {2, 241, 10, 2}, {2, 480, 480, 2}, {3, 240, 240, 1}};
    const std::string format = tarvel::LoadResourceText(tarvel::kDecodingText);
    for (const auto& [type, width, height, n] : examples) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        scratch_dir src, work;
        const planes source = random_planes(type, width, height, type);
        const std::string path = write_bmp(src.path() + "s.bmp", source);
        recording_sink sink;
        pyramid p, again;
        ASSERT_TRUE(build(work.bare(), path, &p, &sink));
        const std::vector<planes> got = read_layers(p);
        EXPECT_TRUE(got == expected_layers(source, n));  // n layers, each half the one before
        char text[256];
        std::snprintf(text, sizeof text, format.c_str(), n);
        std::vector<std::string> calls = {std::string("text ") + text,
                                          "total " + std::to_string(height)};
        calls.insert(calls.end(), height, "advance 1");
        EXPECT_EQ(sink.calls, calls);
        EXPECT_NE(read_text(work.path() + "pyramid.ini").find("Version=2\n"), std::string::npos);
        ASSERT_TRUE(again.Create(work.bare().c_str(), nullptr));  // pyramid.ini names every layer
        EXPECT_TRUE(read_layers(again) == got);
    }
}

TEST(PyramidBuild, AnotherProcessOpensWithoutTheSource) {
    // What a child process built and set opens here as the pyramid built here
    // with the same brightness and contrast.
    scratch_dir src, work, here;
    const std::string source = write_bmp(src.path() + "s.bmp", random_planes(3, 700, 500, 11));
    ASSERT_EQ(0, run_in_child([&] {
                  pyramid p;
                  if (!build(work.bare(), source, &p)) return 1;
                  p.SetBrightnessContrast(30.0, 70.0);
                  return 0;
              }));
    pyramid p, mine;
    ASSERT_TRUE(build(here.bare(), source, &mine));
    mine.SetBrightnessContrast(30.0, 70.0);
    ASSERT_EQ(unlink(source.c_str()), 0);  // opening must not need it
    ASSERT_TRUE(p.Create(work.bare().c_str(), nullptr));
    EXPECT_EQ(p.GetName(), source);
    double b = 0, k = 0;
    p.GetBrightnessContrast(b, k);
    EXPECT_EQ(std::make_pair(b, k), std::make_pair(30.0, 70.0));
    const std::vector<planes> seen = read_layers(p);
    EXPECT_TRUE(seen == read_layers(mine));
    mine.SetBrightnessContrast(50.0, 50.0);
    EXPECT_FALSE(seen == read_layers(mine));  // the samples show the mapping
}

TEST(PyramidBuild, EarlierPyramidSurvivesBadSourcesAndAGoodOneReplacesIt) {
    scratch_dir src, work;
    const planes old = random_planes(3, 500, 300, 1);
    const planes next = random_planes(2, 300, 400, 22);
    ASSERT_TRUE(build(work.bare(), write_bmp(src.path() + "old.bmp", old)));
    std::ofstream(src.path() + "garbage.jpg") << "not an image at all";
    std::ofstream(src.path() + "truncated.bmp") << read_text(src.path() + "old.bmp").substr(0, 100);
    const std::vector<std::string> files = work.files();
    const std::string profile = read_text(work.path() + "pyramid.ini");
    const std::string names[] = {"garbage.jpg", "truncated.bmp", "missing.tif", std::string(),
                                 std::string(1100, 'x')};
    for (const std::string& name : names) {
        SCOPED_TRACE(name.substr(0, 20));
        pyramid p;
        EXPECT_FALSE(build(work.bare(), src.path() + name, &p));
        EXPECT_EQ(p.GetLayerCount(), 0);
        EXPECT_EQ(work.files(), files);
        EXPECT_EQ(read_text(work.path() + "pyramid.ini"), profile);
    }
    pyramid p;
    EXPECT_FALSE(p.Create(work.bare().c_str(), nullptr, -1, nullptr));
    ASSERT_TRUE(p.Create(work.bare().c_str(), nullptr));  // the earlier pyramid is intact
    EXPECT_TRUE(read_layers(p) == expected_layers(old, 3));

    // Leftovers of an interrupted build, and a file that is not a page file.
    std::ofstream(work.path() + "~GM12.TMP") << "stray page of an interrupted build";
    std::ofstream(work.path() + "notes.txt") << "keep me";
    // Rebuilding into the directory of the pyramid's own layers replaces
    // them, and their files go.
    ASSERT_TRUE(build(work.bare(), write_bmp(src.path() + "next.bmp", next), &p));
    EXPECT_TRUE(read_layers(p) == expected_layers(next, 2));
    EXPECT_TRUE(stray_page_files(work).empty());
    EXPECT_EQ(read_text(work.path() + "notes.txt"), "keep me");
    EXPECT_EQ(read_text(work.path() + "pyramid.ini").find("[Layer2]"), std::string::npos);
}

TEST(PyramidBuild, ReadOnlyDirectory) {
    // As an unprivileged user (root would write anyway), in a directory and
    // files without write permission: a build is refused and creates nothing,
    // and the pyramid stored there still opens.
    scratch_dir src, work;
    const std::string source = write_bmp(src.path() + "s.bmp", random_planes(3, 300, 200, 4));
    ASSERT_TRUE(build(work.bare(), source));
    ASSERT_EQ(chmod(src.bare().c_str(), 0755), 0);
    for (const std::string& f : work.files()) chmod((work.path() + f).c_str(), 0444);
    ASSERT_EQ(chmod(work.bare().c_str(), 0555), 0);
    EXPECT_EQ(0, run_in_child([&] {
                  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
                  const std::vector<std::string> before = work.files();
                  pyramid p;
                  if (build(work.bare(), source, &p) || work.files() != before) return 1;
                  return p.Create(work.bare().c_str(), nullptr) && p.GetLayerCount() == 2 ? 0 : 3;
              }));
    ASSERT_EQ(chmod(work.bare().c_str(), 0755), 0);
}

TEST(PyramidBuild, FailureAfterDecodingRemovesEverythingItMade) {
    // pyramid.ini cannot be written (a directory of that name): the build
    // fails after decoding and halving and deletes every page file it made.
    scratch_dir src, work;
    ASSERT_EQ(mkdir((work.path() + "pyramid.ini").c_str(), 0755), 0);
    // Larger than the cache, so that layer 0 has page files when the build fails.
    pyramid p;
    EXPECT_FALSE(
        build(work.bare(), write_bmp(src.path() + "s.bmp", random_planes(2, 4500, 4000, 3)), &p));
    EXPECT_EQ(p.GetLayerCount(), 0);
    EXPECT_TRUE(work.files().empty());
}

// With palette expansion, a palette source becomes RGB (or grey when every
// entry is grey) before it is halved, so that layers average colours: a BMP,
// and an interlaced PNG, whose later passes add to rows already expanded.
// The colour palette repeats some entries, the grey one runs backwards.
TEST(PyramidBuild, ExpandedPaletteSourcesAverageColours) {
    for (const bool greyRamp : {false, true}) {
        for (const char* file : {"s.bmp", "s-adam7.png"}) {
            SCOPED_TRACE(testing::Message()
                         << (greyRamp ? "grey palette, " : "colour palette, ") << file);
            scratch_dir src, work;
            planes source = random_planes(2, 500, 300, 7);
            for (int i = 0; i < 768; ++i) {
                if (greyRamp)
                    source.palette[i] = static_cast<unsigned char>(255 - i / 3);
                else if (i >= 600)
                    source.palette[i] = source.palette[i - 600];
            }
            planes colours{greyRamp ? 1 : 3, 500, 300, {}, {}};
            for (int c = 0; c < (greyRamp ? 1 : 3); ++c) {
                colours.channel.emplace_back();
                for (unsigned char index : source.channel[0])
                    colours.channel.back().push_back(source.palette[3 * index + c]);
            }
            std::string path = src.path() + file;
            if (std::string(file).find(".png") != std::string::npos)
                writePng(path, 500, 300, PNG_COLOR_TYPE_PALETTE, 8, source.channel[0],
                         source.palette, true);
            else
                path = write_bmp(path, source);
            pyramid p;
            p.SetExpandPalette(true);
            ASSERT_TRUE(build(work.bare(), path, &p));
            EXPECT_TRUE(read_layers(p) == expected_layers(colours, 3));  // 500, 250, 125 wide
        }
    }
}

}  // namespace
}  // namespace tarvel_test
