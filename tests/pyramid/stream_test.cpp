// The streamed build: the layers of every kind of source equal a reference
// (box averages of the source's planes, or of the whole-picture decode for
// JPEG), turned and interlaced rows land upright, and the earlier pyramid
// stays whole until the new one replaces it.
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <fstream>

#include "../host/writers.h"
#include "host/decode/row_sink.h"
#include "imagefile/imagefile.h"
#include "pyramid/source_sink.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using KORBAS::decode::Orientation;
using KORBAS::decode::PictureLayout;

// Pixels row by row, channels interleaved, with an opaque alpha byte when asked.
bytes interleaved(const planes& p, bool alpha = false) {
    bytes out;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            for (const auto& plane : p.channel) out.push_back(plane[size_t(y) * p.width + x]);
            if (alpha) out.push_back(255);
        }
    return out;
}

// A grey level a pixel, shown through the grey ramp.
planes grey_planes(int width, int height, std::uint32_t seed) {
    planes p = random_planes(2, width, height, seed);
    for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<unsigned char>(i / 3);
    return p;
}

struct source_case {
    std::string file;
    planes picture;
    int threads;  // of the build
};

std::string write_source(const scratch_dir& dir, const source_case& c) {
    const std::string path = dir.file_path(c.file);
    const planes& p = c.picture;
    const auto has = [&](const char* part) { return c.file.find(part) != std::string::npos; };
    const bytes samples = interleaved(p, has("rgba"));
    if (has(".jpg")) {
        writeJpeg(path, p.width, p.height, 3, samples);
    } else if (has(".png")) {
        const bool grey = has("grey");
        const int colour = has("rgba")   ? PNG_COLOR_TYPE_RGB_ALPHA
                           : p.type == 3 ? PNG_COLOR_TYPE_RGB
                           : grey        ? PNG_COLOR_TYPE_GRAY
                                         : PNG_COLOR_TYPE_PALETTE;
        writePng(path, p.width, p.height, colour, 8, samples, grey ? bytes() : p.palette,
                 has("adam7"));
    } else if (has(".tif")) {
        writeTiff(path,
                  {p.width, p.height, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, has("tiles") ? 16 : 0,
                   has("planes")},
                  samples);
    } else {
        const int height = has("down") ? -p.height : p.height;
        write_bytes(path, make_bmp24({24, p.width, height},
                                     [&p](int ch, int x, int y) { return p.at(ch, x, y); }));
    }
    return path;
}

TEST(StreamedBuild, EveryKindOfSourceGivesTheReferenceLayers) {
    // 1500 wide: 699 rows a page, so pairs of rows straddle pages; 524290
    // wide: one row a page. The others are odd in both directions. The
    // RGBA picture is opaque. Streamed sources are built with one thread or
    // with the second that makes the layers.
    const source_case cases[] = {
        {"big.jpg", random_planes(3, 1500, 1401, 1), 2},
        {"rgb.png", random_planes(3, 517, 263, 2), 1},
        {"rgba.png", random_planes(3, 517, 263, 14), 1},
        {"palette-adam7.png", random_planes(2, 517, 263, 3), 2},
        {"rgb-adam7.png", random_planes(3, 701, 603, 4), 1},
        {"wide-grey.png", grey_planes(524290, 5, 5), 1},
        {"strips.tif", random_planes(3, 517, 263, 6), 2},
        {"tiles.tif", random_planes(3, 517, 263, 7), 1},
        {"planes.tif", random_planes(3, 517, 263, 8), 2},
        {"up.bmp", random_planes(3, 1500, 1401, 9), 1},
        {"down.bmp", random_planes(3, 517, 263, 10), 2},
    };
    for (const source_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file << ", " << c.threads << " thread(s)");
        scratch_dir src, work;
        const std::string path = write_source(src, c);
        planes reference = c.picture;
        if (c.file.find(".jpg") != std::string::npos) {  // lossy: the whole-picture decode
            image whole;
            whole.SetTempPath(src.bare().c_str());
            ASSERT_TRUE(tarvel::CImageFileFormat_dib().Load(whole, path.c_str(), nullptr, nullptr));
            reference = read_image(whole);
        }
        pyramid p;
        p.SetBuildThreads(c.threads);
        ASSERT_TRUE(build(work.bare(), path, &p));
        const int n = pyramid::CountLayers(c.picture.width, c.picture.height);
        EXPECT_TRUE(read_layers(p) == expected_layers(reference, n));
    }
}

// Feeds a picture to the sink stored as `orientation` says, the way a
// decoder would: bands of 16 rows, or (out of order) every row twice, odd
// rows first, its even pixels in the first pass and its odd ones in the second.
std::vector<planes> sink_layers(const scratch_dir& work, const planes& stored,
                                Orientation orientation, bool inOrder) {
    std::vector<std::unique_ptr<image>> owned;
    tarvel::source_sink sink(
        [&] {
            owned.push_back(std::make_unique<image>());
            owned.back()->SetTempPath(work.bare().c_str());
            return owned.back().get();
        },
        nullptr, 1);
    PictureLayout layout;
    layout.width = static_cast<std::uint32_t>(stored.width);
    layout.height = static_cast<std::uint32_t>(stored.height);
    layout.bitCount = 24;
    layout.bandRows = inOrder ? 16 : 1;
    layout.inOrder = inOrder;
    layout.orientation = orientation;
    EXPECT_TRUE(sink.start(layout));
    const auto fill = [&](int y, unsigned char* row, int firstPixel, int step) {
        for (int x = firstPixel; x < stored.width; x += step)
            for (int c = 0; c < 3; ++c) row[3 * x + c] = stored.at(2 - c, x, y);  // blue first
    };
    if (inOrder) {
        for (int y0 = 0; y0 < stored.height; y0 += 16) {
            const int n = std::min(16, stored.height - y0);
            std::vector<unsigned char*> band;
            for (int i = 0; i < n; ++i) band.push_back(sink.row(std::uint32_t(y0 + i)));
            for (int i = 0; i < n; ++i) fill(y0 + i, band[i], 0, 1);
            for (int i = 0; i < n; ++i) EXPECT_TRUE(sink.put(std::uint32_t(y0 + i)));
        }
    } else {
        for (int pass = 0; pass < 2; ++pass)
            for (int first = 1; first >= 0; --first)
                for (int y = first; y < stored.height; y += 2) {
                    fill(y, sink.row(std::uint32_t(y)), pass, 2);
                    EXPECT_TRUE(sink.put(std::uint32_t(y)));
                }
    }
    EXPECT_TRUE(sink.finish());
    std::vector<planes> layers;
    for (const auto& layer : owned) layers.push_back(read_image(*layer));
    return layers;
}

planes mirrored(planes p) {
    for (auto& plane : p.channel)
        for (int y = 0; y < p.height; ++y)
            std::reverse(plane.begin() + size_t(y) * p.width,
                         plane.begin() + size_t(y + 1) * p.width);
    return p;
}

planes flipped(planes p) {
    for (auto& plane : p.channel)
        for (int y = 0; y < p.height / 2; ++y)
            std::swap_ranges(plane.begin() + size_t(y) * p.width,
                             plane.begin() + size_t(y + 1) * p.width,
                             plane.begin() + size_t(p.height - 1 - y) * p.width);
    return p;
}

planes transposed(const planes& p) {
    planes t = p;
    std::swap(t.width, t.height);
    for (size_t c = 0; c < p.channel.size(); ++c)
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                t.channel[c][size_t(x) * t.width + y] = p.at(int(c), x, y);
    return t;
}

TEST(StreamedBuild, TurnedAndInterlacedRowsLandUpright) {
    // 301 x 250 stored: upright 301 x 250 or 250 x 301, two layers either way.
    const planes stored = random_planes(3, 301, 250, 11);
    const planes upright[] = {stored,
                              mirrored(stored),
                              flipped(mirrored(stored)),
                              flipped(stored),
                              transposed(stored),
                              mirrored(transposed(stored)),
                              flipped(mirrored(transposed(stored))),
                              flipped(transposed(stored))};
    for (int o = 1; o <= 8; ++o) {
        for (bool inOrder : {true, false}) {
            SCOPED_TRACE(testing::Message() << "orientation " << o << (inOrder ? "" : ", passes"));
            scratch_dir work;
            const planes& want = upright[o - 1];
            EXPECT_TRUE(sink_layers(work, stored, static_cast<Orientation>(o), inOrder) ==
                        expected_layers(want, pyramid::CountLayers(want.width, want.height)));
        }
    }
}

// Opens the directory during the build, once the first pages of layer 0 are
// written (row 873 of a 1200-pixel-wide picture): the old pyramid is whole
// while the new page files are written beside it.
struct opening_sink : recording_sink {
    std::string dir;
    std::vector<planes> seen;
    std::size_t filesMidway = 0;
    int rows = 0;
    void Advance(int steps) override {
        if (++rows == 900) {
            pyramid p;
            if (p.Create(dir.c_str(), nullptr)) seen = read_layers(p);
            filesMidway = stray_page_files_count();
        }
        recording_sink::Advance(steps);
    }
    std::function<std::size_t()> stray_page_files_count;
};

TEST(StreamedBuild, TheEarlierPyramidStaysWholeUntilTheNewOneReplacesIt) {
    scratch_dir src, work;
    const planes old = random_planes(3, 700, 500, 12);
    const planes next = random_planes(3, 1200, 1000, 13);
    ASSERT_TRUE(build(work.bare(), write_bmp(src.path() + "old.bmp", old)));
    const std::vector<std::string> oldFiles = work.files();

    // A JPEG cut short stops the decoder halfway: nothing changes.
    const std::string cut = src.path() + "cut.jpg";
    writeJpeg(cut, 1200, 1000, 3, interleaved(next));
    std::string text = read_text(cut);
    std::ofstream(cut, std::ios::binary) << text.substr(0, text.size() * 3 / 5);
    pyramid p;
    EXPECT_FALSE(build(work.bare(), cut, &p));
    EXPECT_EQ(work.files(), oldFiles);
    ASSERT_TRUE(p.Create(work.bare().c_str(), nullptr));
    EXPECT_TRUE(read_layers(p) == expected_layers(old, 3));

    // A good source: the old pyramid opens halfway through, with the new page
    // files beside it. After the switch the old files stay while p still
    // reads them; once the last reader closes only the new pyramid's files
    // are left.
    opening_sink sink;
    sink.dir = work.bare();
    sink.stray_page_files_count = [&] { return stray_page_files(work).size(); };
    pyramid q;
    q.SetBuildThreads(1);  // pages are written by the row the sink sees
    ASSERT_TRUE(build(work.bare(), write_bmp(src.path() + "next.bmp", next), &q, &sink));
    EXPECT_TRUE(sink.seen == expected_layers(old, 3));
    EXPECT_GT(sink.filesMidway, 0u);
    EXPECT_TRUE(read_layers(q) == expected_layers(next, 4));
    EXPECT_TRUE(read_layers(p) == expected_layers(old, 3));
    EXPECT_FALSE(stray_page_files(work).empty());
    p.Destroy();
    q.Destroy();
    EXPECT_TRUE(stray_page_files(work).empty());
    for (const std::string& f : work.files()) {
        if (f != "pyramid.ini") {
            EXPECT_EQ(std::count(oldFiles.begin(), oldFiles.end(), f), 0) << f;
        }
    }
}

}  // namespace
}  // namespace tarvel_test
