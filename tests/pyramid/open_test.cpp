// Opening stored pyramids: section order by version, progress, refusals of
// hostile pyramid.ini files, and what a failed open leaves on disk.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <fstream>

#include "platform/platform.h"
#include "pyramid/pyramid.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::pyramid;

std::vector<planes> three_layers() {
    return {random_planes(1, 40, 30, 1), random_planes(1, 20, 15, 2), random_planes(1, 10, 7, 3)};
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(PyramidOpen, SectionOrderByVersion) {
    const std::vector<planes> layers = three_layers();
    // No "Version" key (version 1) and version 1: "Layer0" is the smallest.
    // Versions 2 and 7: "Layer0" is the full resolution.
    for (int version : {0, 1, 2, 7}) {
        SCOPED_TRACE(version);
        scratch_dir dir;
        store_pyramid_by_hand(dir.path(), layers, version);
        pyramid p;
        recording_sink sink;
        ASSERT_TRUE(p.Create(dir.bare().c_str(), &sink));
        EXPECT_EQ(p.GetName(), "source.bmp");
        EXPECT_EQ(read_layers(p), layers);
        EXPECT_EQ(sink.calls, std::vector<std::string>{"total 2"});
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(p.GetLayerAt(k)->IsPersistent());
    }
}

TEST(PyramidOpen, ReopensAfterDestroyAndKeepsFiles) {
    scratch_dir dir;
    const std::vector<planes> layers = three_layers();
    store_pyramid_by_hand(dir.path(), layers, 2);
    const std::vector<std::string> files = dir.files();
    pyramid p;
    ASSERT_TRUE(p.Create(dir.path().c_str(), nullptr));
    ASSERT_TRUE(p.Destroy());
    EXPECT_EQ(dir.files(), files);  // persistent layers leave their files
    ASSERT_TRUE(p.Create(dir.path().c_str(), nullptr));
    EXPECT_EQ(read_layers(p), layers);
    // A second successful open replaces the layers held.
    ASSERT_TRUE(p.Create(dir.path().c_str(), nullptr));
    EXPECT_EQ(p.GetLayerCount(), 3);
}

TEST(PyramidOpen, HostileProfilesAreRefusedAndTouchNothing) {
    struct edit {
        const char* what;
        const char* section;
        const char* key;
        const char* value;  // null deletes the key (a null key deletes the section)
    };
    const edit edits[] = {
        {"no name", "PYRAMID", "Name", nullptr},
        {"empty name", "PYRAMID", "Name", ""},
        {"no count", "PYRAMID", "LayerCount", nullptr},
        {"zero count", "PYRAMID", "LayerCount", "0"},
        {"negative count", "PYRAMID", "LayerCount", "-3"},
        {"count beyond any image", "PYRAMID", "LayerCount", "26"},
        {"huge count", "PYRAMID", "LayerCount", "2147483647"},
        {"overflowing count", "PYRAMID", "LayerCount", "99999999999999999999"},
        {"more layers than sections", "PYRAMID", "LayerCount", "4"},
        {"missing layer section", "Layer1", nullptr, nullptr},
        {"missing geometry key", "Layer2", "PageSize", nullptr},
        {"page outside the directory", "Layer1", "000-0000", "../victim/~gm1.tmp"},
        {"page named by absolute path", "Layer2", "000-0000", "/etc/passwd"},
        {"page that is the profile", "Layer2", "000-0000", "pyramid.ini"},
        {"page that is the source", "Layer2", "000-0000", "source.bmp"},
        {"palette outside", "Layer1", "Palette", "..\\victim\\~gm2.tmp"},
        {"wrong width", "Layer0", "Width", "41"},
        {"negative type", "Layer0", "Type", "-1"},
    };
    for (const edit& e : edits) {
        SCOPED_TRACE(e.what);
        scratch_dir dir;
        scratch_dir outside;  // a neighbour holding files a hostile profile might name
        const std::string work = dir.path() + "work/";
        ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
        write_text(outside.path() + "~gm1.tmp", "victim page");
        write_text(outside.path() + "~gm2.tmp", "victim palette");
        write_text(work + "source.bmp", "the user's source image");
        store_pyramid_by_hand(work, three_layers(), 2);
        const std::string ini = work + "pyramid.ini";
        WritePrivateProfileStringA(e.section, e.key, e.value, ini.c_str());
        // Redirect the "../victim" names at the neighbour.
        symlink(outside.bare().c_str(), (dir.path() + "victim").c_str());

        const std::vector<std::string> outsideBefore = outside.files();
        const std::string profileBefore = slurp(ini);
        pyramid p;
        p.PushBack(new tarvel::image(1, 5, 5, 0));  // a failed open keeps what was held
        EXPECT_FALSE(p.Create(work.c_str(), nullptr));
        EXPECT_EQ(p.GetLayerCount(), 1);
        EXPECT_EQ(outside.files(), outsideBefore);
        EXPECT_EQ(slurp(outside.path() + "~gm1.tmp"), "victim page");
        EXPECT_EQ(slurp(outside.path() + "~gm2.tmp"), "victim palette");
        EXPECT_EQ(slurp(work + "source.bmp"), "the user's source image");
        EXPECT_EQ(slurp(ini), profileBefore);
        unlink((dir.path() + "victim").c_str());
        remove_directory(work);
    }
}

TEST(PyramidOpen, FailedLayerDeletesOnlyTheLayersOpenedSoFar) {
    // Layer 2's page file is gone: layers 0 and 1 were opened and go with
    // their page files, as a failed open does; pyramid.ini and layer 2's
    // section stay.
    scratch_dir dir;
    store_pyramid_by_hand(dir.path(), three_layers(), 2);
    char name[64];
    const std::string ini = dir.path() + "pyramid.ini";
    GetPrivateProfileStringA("Layer2", "000-0000", "", name, sizeof name, ini.c_str());
    char first[64];
    GetPrivateProfileStringA("Layer0", "000-0000", "", first, sizeof first, ini.c_str());
    ASSERT_EQ(unlink((dir.path() + name).c_str()), 0);
    pyramid p;
    EXPECT_FALSE(p.Create(dir.bare().c_str(), nullptr));
    EXPECT_EQ(p.GetLayerCount(), 0);
    EXPECT_EQ(dir.files(), std::vector<std::string>{"pyramid.ini"});
}

TEST(PyramidOpen, MissingDirectoryIsCreatedAndRefused) {
    scratch_dir dir;
    pyramid p;
    EXPECT_FALSE(p.Create((dir.path() + "a/b").c_str(), nullptr));
    struct stat st {};
    EXPECT_EQ(stat((dir.path() + "a/b").c_str(), &st), 0);
    EXPECT_FALSE(p.Create("", nullptr));
    EXPECT_FALSE(p.Create(nullptr, nullptr));
    // A directory too long for page-file paths.
    EXPECT_FALSE(p.Create((dir.path() + std::string(300, 'x')).c_str(), nullptr));
    rmdir((dir.path() + "a/b").c_str());
    rmdir((dir.path() + "a").c_str());
}

}  // namespace
}  // namespace tarvel_test
