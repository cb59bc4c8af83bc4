// Brightness, contrast, the intensity table, its application to pages and baking it into page
// files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "image/image.h"
#include "test_access.h"

namespace {

using tarvel::image;
using tarvel::image_test_access;
using tarvel_test::scratch_dir;

struct case_bounds {
    double brightness, contrast;
    double storedBrightness, storedContrast;
    int lowIn, highIn, lowOut, highOut;
    // table[0], [1], [64], [100], [128], [200], [254], [255]
    int table[8];
};

// The first eight rows are worked examples of the mapping rules; the last ones
// were worked out from the same rules by a separate double-precision program.
const case_bounds kCases[] = {
    {60, 50, 60, 50, 0, 204, 51, 255, {51, 52, 115, 151, 179, 251, 255, 255}},
    {50, 75, 50, 75, 63, 191, 0, 255, {0, 0, 2, 74, 129, 255, 255, 255}},
    {40, 30, 40, 30, 0, 255, 0, 153, {0, 1, 38, 60, 77, 120, 152, 153}},
    {50, 0, 50, 0, 0, 255, 127, 128, {127, 127, 127, 127, 128, 128, 128, 128}},
    {0, 50, 0, 50, 0, 255, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
    {100, 50, 0, 50, 0, 255, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
    {-10, 130, 90, 30, 0, 0, 254, 255, {254, 255, 255, 255, 255, 255, 255, 255}},
    {50, 99.96, 50, 100, 127, 128, 0, 255, {0, 0, 0, 0, 255, 255, 255, 255}},
    {70, 50, 70, 50, 0, 153, 102, 255, {102, 103, 166, 202, 230, 255, 255, 255}},
    {30, 80, 30, 80, 117, 178, 0, 153, {0, 0, 0, 0, 28, 153, 153, 153}},
    {65, 20, 65, 20, 0, 254, 152, 255, {152, 152, 178, 193, 204, 233, 255, 255}},
    {-175, -340, 25, 60, 127, 229, 0, 127, {0, 0, 0, 0, 1, 91, 127, 127}},
};

TEST(Intensity, BrightnessAndContrastGiveTheWorkedBoundsAndTables) {
    const int probes[8] = {0, 1, 64, 100, 128, 200, 254, 255};
    for (const case_bounds& c : kCases) {
        SCOPED_TRACE(testing::Message()
                     << "brightness " << c.brightness << " contrast " << c.contrast);
        image img(1, 16, 16, 0);
        img.SetBrightnessContrast(c.brightness, c.contrast);
        double b = 0, k = 0;
        img.GetBrightnessContrast(b, k);
        EXPECT_EQ(b, c.storedBrightness);
        EXPECT_EQ(k, c.storedContrast);
        int li, hi, lo, ho;
        img.GetIntensityBounds(li, hi, lo, ho);
        EXPECT_EQ(li, c.lowIn);
        EXPECT_EQ(hi, c.highIn);
        EXPECT_EQ(lo, c.lowOut);
        EXPECT_EQ(ho, c.highOut);
        ASSERT_TRUE(img.IsIntensityMappingActive());
        ASSERT_NE(img.GetIntensityTable(), nullptr);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(img.GetIntensityTable()[probes[i]], c.table[i]);
    }

    // Brightness 60: table[s] = 51 + s across the whole middle band.
    image img(1, 16, 16, 0);
    img.SetBrightnessContrast(60, 50);
    for (int s = 1; s < 204; ++s) EXPECT_EQ(img.GetIntensityTable()[s], 51 + s) << s;
    for (int s = 204; s < 256; ++s) EXPECT_EQ(img.GetIntensityTable()[s], 255) << s;

    // Back to neutral: no table, mapping off. 150 normalises to 50 too.
    img.SetBrightnessContrast(150, 50.04);
    EXPECT_FALSE(img.IsIntensityMappingActive());
    EXPECT_EQ(img.GetIntensityTable(), nullptr);
    // Non-numbers are taken as the neutral value instead of poisoning the bounds.
    img.SetBrightnessContrast(std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity());
    EXPECT_FALSE(img.IsIntensityMappingActive());
}

TEST(Intensity, DirectBoundsAreSortedAndStepAtEqualInputs) {
    image img(1, 16, 16, 0);
    img.SetIntensities(10, 10, 0, 255);
    for (int s = 0; s <= 10; ++s) EXPECT_EQ(img.GetIntensityTable()[s], 0) << s;
    for (int s = 11; s < 256; ++s) EXPECT_EQ(img.GetIntensityTable()[s], 255) << s;

    img.SetIntensities(200, 100, 90, 10);  // either order
    int li, hi, lo, ho;
    img.GetIntensityBounds(li, hi, lo, ho);
    EXPECT_EQ(li, 100);
    EXPECT_EQ(hi, 200);
    EXPECT_EQ(lo, 10);
    EXPECT_EQ(ho, 90);
    // Slope 0.8 from 10: s = 150 is k = 50, 10 + trunc(40 + 0.5) = 50.
    EXPECT_EQ(img.GetIntensityTable()[150], 50);
    EXPECT_EQ(img.GetIntensityTable()[101], 11);

    // Reversed neutral bounds: sorted to neutral, mapping off, but the cache is still flushed.
    img.SetDefaultIntensities();
    image_test_access::fetch(img, 0, 0);
    EXPECT_EQ(img.GetInMemoryCount(), 1);
    img.SetIntensities(255, 0, 0, 255);
    EXPECT_FALSE(img.IsIntensityMappingActive());
    EXPECT_EQ(img.GetInMemoryCount(), 0);
}

// A grey image of four one-mebibyte pages holding every byte value.
unsigned char sample(int offset) {
    return static_cast<unsigned char>(offset * 7 + offset / 1000);
}

void write_pattern(image& img) {
    image::pointer p(&img, 0, 0);
    const int n = img.GetWidth() * img.GetHeight();
    for (int i = 0; i < n; ++i, ++p) *p = sample(i);
}

int brightness60(int s) {
    return s == 0 ? 51 : (s >= 204 ? 255 : 51 + s);
}

TEST(Intensity, EveryFilledPageIsMappedAndBakingKeepsWhatIsSeen) {
    scratch_dir dir;
    image img;
    img.SetTempPath(dir.path().substr(0, dir.path().size() - 1).c_str());
    ASSERT_TRUE(img.Create(1, 100000, 40, 0));  // PageLen 10: four pages
    ASSERT_EQ(img.GetPageCount(), 4);
    write_pattern(img);
    img.Flush();

    // A pinned page is refilled through the new table at once; the others on their next fetch.
    image::scan_page* pinned = nullptr;
    image_test_access::fetch(img, 0, 2 * img.GetPageSize(), &pinned);
    image_test_access::lock_read(*pinned);
    img.SetBrightnessContrast(60, 50);
    EXPECT_EQ(img.GetInMemoryCount(), 1);
    const unsigned char* data = image_test_access::data(*pinned);
    const int base = 2 * img.GetPageSize();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(data[i], brightness60(sample(base + i))) << i;
    image_test_access::unlock_read(*pinned);

    std::vector<unsigned char> line(100000);
    for (int y = 0; y < 40; y += 3) {
        img.GetRegion(0, y, 99999, y, 0, line.data());
        for (int x = 0; x < 100000; x += 97) {
            ASSERT_EQ(line[x], brightness60(sample(y * 100000 + x))) << x << "," << y;
        }
    }

    // Baking writes the mapped samples into the page files and turns the mapping off.
    img.StoreBrightnessContrast();
    EXPECT_FALSE(img.IsIntensityMappingActive());
    double b = 0, k = 0;
    img.GetBrightnessContrast(b, k);
    EXPECT_EQ(b, 50.0);
    EXPECT_EQ(k, 50.0);
    img.GetRegion(0, 25, 99999, 25, 0, line.data());
    for (int x = 0; x < 100000; x += 89) ASSERT_EQ(line[x], brightness60(sample(2500000 + x)));
    const auto& record = image_test_access::page(img, 0, 3);
    std::ifstream file(dir.file_path(record.GetName()), std::ios::binary);
    const std::vector<unsigned char> stored((std::istreambuf_iterator<char>(file)),
                                            std::istreambuf_iterator<char>());
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(img.GetPageSize()));
    for (int i = 0; i < 1000000; i += 101) {
        ASSERT_EQ(stored[i], brightness60(sample(3 * img.GetPageSize() + i))) << i;
    }

    // At the neutral setting, bounds set directly are not baked.
    img.SetIntensities(0, 255, 0, 128);
    img.StoreBrightnessContrast();
    img.SetDefaultIntensities();
    img.GetRegion(0, 25, 99999, 25, 0, line.data());
    EXPECT_EQ(line[7], brightness60(sample(2500007)));
}

TEST(Intensity, PagesWithoutFilesFillWithTheMappedZero) {
    image img(1, 100000, 40, 0);
    img.SetBrightnessContrast(60, 50);
    unsigned char out[4];
    img.GetRegion(10, 35, 13, 35, 0, out);
    for (unsigned char v : out) EXPECT_EQ(v, 51);
}

}  // namespace
