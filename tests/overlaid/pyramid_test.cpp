// Overlaid pyramids: the layer for a reduction, references held and released,
// and filling a pyramid from picture files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>

#include "host/progress.h"
#include "image/test_access.h"
#include "imagefile/bmp_bytes.h"
#include "overlaid_test_util.h"

using namespace tarvel_test;
using Image::COverlaidPyramid;

namespace {

struct open_pyramid : COverlaidPyramid {
    using COverlaidPyramid::FindBestLayer;
};

// An image that counts its destruction.
struct counted_image : COverlaidImage {
    explicit counted_image(int& destroyed)
        : COverlaidImage(40, 30, 1, kByte, kGrey), m(destroyed) {}
    ~counted_image() override { ++m; }
    int& m;
};

struct counting_progress : KORBAS::IProgressWork {
    void SetTotal(int total) override { totals += total; }
    void Advance(int steps) override { advances += steps; }
    void SetText(const char* text) override { last_text = text; }
    int totals = 0, advances = 0;
    std::string last_text;
};

using plane = std::vector<int>;  // one channel, row by row

// The truncating 2 x 2 mean of a plane of width x height.
plane halve(const plane& p, int width, int height) {
    plane out;
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            const int* a = &p[2 * y * width + 2 * x];
            out.push_back((a[0] + a[1] + a[width] + a[width + 1]) / 4);
        }
    return out;
}

}  // namespace

TEST(OverlaidPyramid, FindBestLayerTables) {
    int destroyed = 0;
    open_pyramid p;
    EXPECT_EQ(p.FindBestLayer(8), 0);  // no layers
    EXPECT_EQ(p.FindBestLayer(9.0, 9.0), 0);
    p.PushBack(new counted_image(destroyed));
    EXPECT_EQ(p.FindBestLayer(1000), 0);
    for (int i = 0; i < 3; ++i) p.PushBack(new counted_image(destroyed));
    const int factors[][2] = {{-5, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {7, 2}, {8, 3}, {1000, 3}};
    for (const auto& f : factors) EXPECT_EQ(p.FindBestLayer(f[0]), f[1]) << f[0];
    const double nan = std::nan("");
    const double scales[][3] = {{1.0, 0.5, 0}, {2.7, 5.9, 2}, {0.5, 3.0, 1},  {1.99, 1.5, 0},
                                {nan, 3.0, 1}, {3.0, nan, 0}, {1e300, 2.0, 3}};
    for (const auto& s : scales)
        EXPECT_EQ(p.FindBestLayer(s[0], s[1]), s[2]) << s[0] << " " << s[1];
}

TEST(OverlaidPyramid, LayerDestroyedWithItsLastReference) {
    int destroyed = 0;
    {
        auto* pyramid = new COverlaidPyramid;
        EXPECT_FALSE(pyramid->Destroy());
        auto* first = new counted_image(destroyed);
        pyramid->PushBack(first);
        pyramid->PushBack(nullptr);  // ignored
        pyramid->PushBack(new counted_image(destroyed));
        EXPECT_EQ(pyramid->GetLayerCount(), 2);
        EXPECT_EQ(pyramid->GetWidth(), 40);
        first->AddReference();  // the test's own
        COverlaidPyramid copy(*pyramid);
        COverlaidPyramid assigned;
        assigned.PushBack(new counted_image(destroyed));
        assigned = copy;  // releases its own layer, shares the others
        EXPECT_EQ(destroyed, 1);
        const COverlaidPyramid& same = assigned;
        assigned = same;  // to itself: nothing changes
        EXPECT_TRUE(pyramid->Destroy());
        EXPECT_FALSE(pyramid->IsValid());
        delete pyramid;
        copy.Clear();
        EXPECT_EQ(destroyed, 1);  // `assigned` still holds both
        assigned.Flush();
        assigned.Clear();
        EXPECT_EQ(destroyed, 2);  // the second layer; the first is still the test's
        EXPECT_EQ(first->SubReference(), 0u);
        EXPECT_EQ(destroyed, 3);
    }
    EXPECT_EQ(img::COverlaidImagePartList::GetReservationCount(), 0u);
}

TEST(OverlaidPyramid, LoadsPicturesIntoHalvedLayers) {
    part_limit limit(1 << 20);  // layer 0 of the colour picture does not fit
    scratch_dir dir;
    const auto rgb = [](int c, int x, int y) { return std::uint8_t(x * (c + 1) + y * 3 + c * 50); };
    const auto index = [](int, int x, int y) { return std::uint8_t(x + 2 * y); };
    bytes greys;
    for (int i = 0; i < 256; ++i) greys.insert(greys.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    const bytes colours = test_palette(200);  // indices from 200 on are black
    const struct {
        const char* name;
        bytes file;
        std::vector<int> sizes;  // width, height of each layer
        unsigned channels;
        std::function<int(int, int, int)> sample;
    } pictures[] = {
        {"rgb.bmp",
         make_bmp24({24, 1030, 520}, rgb),
         {1030, 520, 515, 260, 257, 130, 128, 65},
         3,
         rgb},
        {"rgba.bmp", make_bmp24({32, 300, 241}, rgb), {300, 241, 150, 120}, 3, rgb},
        {"palette.bmp",
         make_bmp8({8, 250, 101, 0, 256}, index, colours),
         {250, 101, 125, 50},
         3,
         [&](int c, int x, int y) { return colours[3 * index(0, x, y) + c]; }},
        {"grey.bmp", make_bmp8({8, 97, 300, 0, 256}, index, greys), {97, 300, 48, 150}, 1, index},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.name);
        write_bytes(dir.file_path(p.name), p.file);
        COverlaidPyramid pyramid;
        counting_progress progress;
        std::string reason;
        ASSERT_TRUE(
            Image::LoadOverlaidPyramid(pyramid, dir.file_path(p.name).c_str(), &progress, &reason))
            << reason;
        ASSERT_EQ(pyramid.GetLayerCount() * 2, static_cast<int>(p.sizes.size()));
        EXPECT_EQ(pyramid.GetNoChannels(), p.channels);
        EXPECT_EQ(pyramid.GetImageType(), p.channels == 3 ? kColour : kGrey);
        int tiles = 0;
        for (unsigned c = 0; c < p.channels; ++c) {
            int width = p.sizes[0], height = p.sizes[1];
            plane expected;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) expected.push_back(p.sample(c, x, y));
            for (int k = 0; k < pyramid.GetLayerCount(); ++k) {
                COverlaidImage* layer = pyramid.GetLayerAt(k);
                ASSERT_EQ(layer->GetWidth(), unsigned(p.sizes[2 * k]));
                ASSERT_EQ(layer->GetHeight(), unsigned(p.sizes[2 * k + 1]));
                std::vector<unsigned char> got(expected.size());
                layer->GetRegion(0, 0, width - 1, height - 1, c, got.data());
                ASSERT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << k << " " << c;
                if (c == 0) tiles += layer->GetPartCount();
                expected = halve(expected, width, height);
                width /= 2, height /= 2;
            }
        }
        EXPECT_EQ(progress.totals, tiles);
        EXPECT_EQ(progress.advances, tiles);
        EXPECT_EQ(progress.last_text, "Building layer " + std::to_string(p.sizes.size() / 2 - 1) +
                                          " of " + std::to_string(p.sizes.size() / 2 - 1));
    }
    // A failure names the file and leaves the pyramid as it was.
    COverlaidPyramid pyramid;
    int destroyed = 0;
    pyramid.PushBack(new counted_image(destroyed));
    write_bytes(dir.file_path("cut.bmp"),
                bytes(pictures[0].file.begin(), pictures[0].file.begin() + 60));
    for (const char* name : {"missing.png", "cut.bmp"}) {
        std::string reason;
        const std::string path = dir.file_path(name);
        EXPECT_FALSE(Image::LoadOverlaidPyramid(pyramid, path.c_str(), nullptr, &reason));
        EXPECT_EQ(reason.compare(0, path.size() + 2, path + ": "), 0) << reason;
        EXPECT_EQ(pyramid.GetLayerCount(), 1);
    }
    EXPECT_EQ(destroyed, 0);
}
