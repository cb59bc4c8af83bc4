// Page mapping: a stored image read through mapped page files gives the
// samples it gives through buffers, keeps its mappings apart from the cache's
// buffers, and falls back to reading where a mapping would be wrong.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

#include "test_access.h"

namespace {

using tarvel::image;
using tarvel::image_test_access;
using tarvel_test::sample;
using tarvel_test::scratch_dir;

// Every sample of every channel, through a read-only iterator.
std::vector<unsigned char> all_samples(image& img) {
    std::vector<unsigned char> out;
    const int n = img.GetWidth() * img.GetHeight();
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        image::ipointer p(&img, c, 0);
        for (int i = 0; i < n; ++i, ++p) out.push_back(*p);
    }
    return out;
}

struct stored : testing::Test {
    stored() {
        // Colour, 3000 x 2500: 8 pages a channel, 24 in all, more than the
        // cache holds (15).
        image img(3, 3000, 2500, 0);
        img.SetTempPath(dir.bare().c_str());
        tarvel_test::fill(img);
        EXPECT_TRUE(img.Freeze("stored.ini", "Image", true));
    }
    void thaw(image& img, bool map) {
        img.SetTempPath(dir.bare().c_str());
        img.SetPageMapping(map);
        ASSERT_TRUE(img.Thaw("stored.ini", "Image", false));
        EXPECT_EQ(img.GetPageMapping(), map);
    }
    scratch_dir dir;
};

TEST_F(stored, MappedPagesReadAsLoadedPagesWithinTheCache) {
    image loaded, mapped;
    thaw(loaded, false);
    thaw(mapped, true);
    EXPECT_EQ(all_samples(mapped), all_samples(loaded));
    // Every page stays mapped (24, within the mapped limit); no
    // buffer is taken.
    auto mapped_pages = [&mapped] {
        int n = 0;
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < mapped.GetPageCount(); ++k)
                n += image_test_access::mapped(image_test_access::page(mapped, c, k));
        return n;
    };
    EXPECT_EQ(mapped_pages(), 24);
    EXPECT_EQ(mapped.GetMappedCount(), 24);
    EXPECT_EQ(mapped.GetInMemoryCount(), 0);

    // The intensity mapping changes samples in memory: such pages are read.
    mapped.SetBrightnessContrast(70, 60);
    loaded.SetBrightnessContrast(70, 60);
    EXPECT_EQ(all_samples(mapped), all_samples(loaded));
    EXPECT_EQ(mapped_pages(), 0);
    EXPECT_EQ(mapped.GetMappedCount(), 0);
    EXPECT_LE(mapped.GetInMemoryCount(), mapped.GetCacheLimit());
}

TEST_F(stored, WritesToMappedPagesStayPrivateUntilSaved) {
    image writer, other;
    thaw(writer, true);
    thaw(other, true);
    const int offset = writer.GetPageSize() + 17;  // inside the second page
    const unsigned char before = sample(1, offset);
    {
        image::pointer p(&writer, 1, offset);
        ASSERT_TRUE(image_test_access::mapped(image_test_access::page(writer, 1, 1)));
        *p = static_cast<unsigned char>(before + 1);
    }
    image::ipointer q(&other, 1, offset);
    EXPECT_EQ(*q, before);  // the other mapping does not see the unsaved write
    ASSERT_TRUE(writer.Flush());
    image third;
    thaw(third, false);
    EXPECT_EQ(*image::ipointer(&third, 1, offset), static_cast<unsigned char>(before + 1));
}

TEST_F(stored, ShortPageFilesAreReadNotMapped) {
    image img;
    thaw(img, true);
    char path[tarvel::kPathChars];
    const image_test_access::scan_page& page = image_test_access::page(img, 2, 3);
    std::snprintf(path, sizeof path, "%s%s", dir.path().c_str(), page.GetName());
    ASSERT_EQ(truncate(path, 1000), 0);
    const int offset = 3 * img.GetPageSize();
    const std::string said = tarvel_test::captured_stdout([&] {
        image::ipointer p(&img, 2, offset);
        EXPECT_EQ(p[999], sample(2, offset + 999));
        EXPECT_EQ(p[1000], 0);  // beyond the file: zero, not a fault
    });
    EXPECT_NE(said.find("Error reading file"), std::string::npos);
    EXPECT_FALSE(image_test_access::mapped(image_test_access::page(img, 2, 3)));
}

}  // namespace
