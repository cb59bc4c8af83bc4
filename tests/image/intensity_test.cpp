// Brightness, contrast, the intensity table, its application to pages and baking it into page
// files.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <utility>
#include <vector>

#include "test_access.h"

namespace {

using tarvel::image;
using access = tarvel::image_test_access;
using tarvel_test::sample;

// Brightness and contrast as set, then as read back; lowIn, highIn, lowOut, highOut; then
// table[0], [1], [64], [100], [128], [200], [254], [255]. The first eight rows are worked examples
// of the mapping rules; the last ones were worked out from the same rules by a separate
// double-precision program.
const std::array<double, 16> kCases[] = {
    {60, 50, 60, 50, 0, 204, 51, 255, 51, 52, 115, 151, 179, 251, 255, 255},
    {50, 75, 50, 75, 63, 191, 0, 255, 0, 0, 2, 74, 129, 255, 255, 255},
    {40, 30, 40, 30, 0, 255, 0, 153, 0, 1, 38, 60, 77, 120, 152, 153},
    {50, 0, 50, 0, 0, 255, 127, 128, 127, 127, 127, 127, 128, 128, 128, 128},
    {0, 50, 0, 50, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {100, 50, 0, 50, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {-10, 130, 90, 30, 0, 0, 254, 255, 254, 255, 255, 255, 255, 255, 255, 255},
    {50, 99.96, 50, 100, 127, 128, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255},
    {30, 80, 30, 80, 117, 178, 0, 153, 0, 0, 0, 0, 28, 153, 153, 153},
    {-175, -340, 25, 60, 127, 229, 0, 127, 0, 0, 0, 0, 1, 91, 127, 127},
};

// The table for brightness 60, contrast 50, by hand: the band 0..204 moved up by 51.
int brightness60(int s) {
    return s == 0 ? 51 : (s >= 204 ? 255 : 51 + s);
}

TEST(Intensity, BrightnessContrastAndDirectBoundsGiveTheWorkedTables) {
    for (const std::array<double, 16>& c : kCases) {
        image img(1, 16, 16, 0);
        img.SetBrightnessContrast(c[0], c[1]);
        ASSERT_TRUE(img.IsIntensityMappingActive()) << c[0] << " " << c[1];
        std::array<double, 16> got{c[0], c[1]};
        img.GetBrightnessContrast(got[2], got[3]);
        int bounds[4];
        img.GetIntensityBounds(bounds[0], bounds[1], bounds[2], bounds[3]);
        const int probes[8] = {0, 1, 64, 100, 128, 200, 254, 255};
        for (int i = 0; i < 4; ++i) got[4 + i] = bounds[i];
        for (int i = 0; i < 8; ++i) got[8 + i] = img.GetIntensityTable()[probes[i]];
        EXPECT_EQ(got, c);
    }
    image img(1, 16, 16, 0);
    img.SetBrightnessContrast(60, 50);
    for (int s = 0; s < 256; ++s) EXPECT_EQ(img.GetIntensityTable()[s], brightness60(s)) << s;

    // Back to neutral (150 normalises to 50): no table. Non-numbers count as neutral.
    img.SetBrightnessContrast(150, 50.04);
    EXPECT_EQ(img.GetIntensityTable(), nullptr);
    img.SetBrightnessContrast(std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity());
    EXPECT_FALSE(img.IsIntensityMappingActive());

    // Bounds set directly: equal inputs give a step, and either order is sorted.
    img.SetIntensities(10, 10, 0, 255);
    for (int s = 0; s < 256; ++s) EXPECT_EQ(img.GetIntensityTable()[s], s <= 10 ? 0 : 255) << s;
    img.SetIntensities(200, 100, 90, 10);  // slope 0.8 from (100, 10): 150 gives 10 + 40
    const unsigned char* t = img.GetIntensityTable();
    EXPECT_EQ(std::vector<int>({t[99], t[101], t[150], t[200], t[201]}),
              std::vector<int>({10, 11, 50, 90, 90}));
    // Reversed neutral bounds: sorted to neutral, mapping off, but the cache is still flushed.
    img.SetDefaultIntensities();
    access::fetch(img, 0, 0);
    img.SetIntensities(255, 0, 0, 255);
    EXPECT_FALSE(img.IsIntensityMappingActive());
    EXPECT_EQ(img.GetInMemoryCount(), 0);
}

class IntensityPages : public tarvel_test::scratch_image {};

TEST_F(IntensityPages, EveryFilledPageIsMappedAndBakingKeepsWhatIsSeen) {
    ASSERT_TRUE(img.Create(1, 100000, 40, 0));  // PageLen 10: four pages
    tarvel_test::fill(img);
    img.Flush();
    const auto mapped = [](int offset) { return brightness60(sample(0, offset)); };
    const auto unmapped_samples = [this, &mapped] {
        std::vector<unsigned char> all(4000000);
        img.GetRegion(0, 0, 99999, 39, 0, all.data());
        int wrong = 0;
        for (int i = 0; i < 4000000; ++i) wrong += all[i] != mapped(i);
        return wrong;
    };

    // A pinned page is refilled through the new table at once; the others on their next fetch.
    image::scan_page* pinned = nullptr;
    access::fetch(img, 0, 2000000, &pinned);
    access::lock_read(*pinned);
    img.SetBrightnessContrast(60, 50);
    EXPECT_EQ(img.GetInMemoryCount(), 1);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(access::data(*pinned)[i], mapped(2000000 + i)) << i;
    access::unlock_read(*pinned);
    EXPECT_EQ(unmapped_samples(), 0);

    // Baking writes the mapped samples into the page files; a mapping left on would map twice.
    img.StoreBrightnessContrast();
    double b = 0, k = 0;
    img.GetBrightnessContrast(b, k);
    EXPECT_EQ(std::make_pair(b, k), std::make_pair(50.0, 50.0));
    EXPECT_EQ(unmapped_samples(), 0);
    const std::string stored =
        tarvel_test::read_text(dir.file_path(access::page(img, 0, 3).GetName()));
    ASSERT_EQ(stored.size(), 1000000u);
    for (int i = 0; i < 1000000; i += 101)
        ASSERT_EQ(stored[i], static_cast<char>(mapped(3000000 + i))) << i;

    // Pages that never had a file fill with the mapped zero.
    image fresh(1, 100000, 40, 0);
    fresh.SetBrightnessContrast(60, 50);
    unsigned char out[2];
    fresh.GetRegion(10, 35, 11, 35, 0, out);
    EXPECT_EQ(out[0] + out[1], 102);
}

}  // namespace
