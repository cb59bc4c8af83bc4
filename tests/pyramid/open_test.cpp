// Opening stored pyramids: section order by version, progress, refusals of
// hostile pyramid.ini files, and the work directory a missing one becomes.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/platform.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

const std::vector<planes> layers = {random_planes(1, 40, 30, 1), random_planes(1, 20, 15, 2),
                                    random_planes(1, 10, 7, 3)};

TEST(PyramidOpen, SectionOrderByVersion) {
    // No "Version" key (version 1) and version 1: "Layer0" is the smallest.
    // Versions 2 and 7: "Layer0" is the full resolution.
    for (int version : {0, 1, 2, 7}) {
        SCOPED_TRACE(version);
        scratch_dir dir;
        store_pyramid_by_hand(dir.path(), layers, version);
        const std::vector<std::string> files = dir.files();
        pyramid p;
        recording_sink sink;
        ASSERT_TRUE(p.Create(dir.bare().c_str(), &sink));
        EXPECT_EQ(p.GetName(), "source.bmp");
        EXPECT_EQ(read_layers(p), layers);
        EXPECT_EQ(sink.calls, std::vector<std::string>{"total 2"});
        ASSERT_TRUE(p.Destroy());
        EXPECT_EQ(dir.files(), files);  // opened layers are persistent: their files stay
    }
}

TEST(PyramidOpen, HostileProfilesAreRefusedAndTouchNothing) {
    // What, section, key, value: a null value deletes the key, a null key the
    // section; ".." is the directory holding the work directory.
    const char* const edits[][4] = {
        {"no name", "PYRAMID", "Name", nullptr},
        {"no count", "PYRAMID", "LayerCount", nullptr},
        {"zero count", "PYRAMID", "LayerCount", "0"},
        {"negative count", "PYRAMID", "LayerCount", "-3"},
        {"huge count", "PYRAMID", "LayerCount", "2147483647"},
        {"overflowing count", "PYRAMID", "LayerCount", "99999999999999999999"},
        {"no PYRAMID section", "PYRAMID", nullptr, nullptr},
        {"missing layer section", "Layer1", nullptr, nullptr},
        {"missing geometry key", "Layer2", "PageSize", nullptr},
        {"missing page file", "Layer2", "000-0000", "~gm7777.tmp"},
        {"page outside the directory", "Layer1", "000-0000", "../~gm1.tmp"},
        {"page named by absolute path", "Layer2", "000-0000", "/etc/passwd"},
        {"page that is the source", "Layer2", "000-0000", "source.bmp"},
        {"palette outside", "Layer1", "Palette", "..\\~gm1.tmp"},
        {"wrong width", "Layer0", "Width", "41"},
        {"negative type", "Layer0", "Type", "-1"},
    };
    for (const auto& [what, section, key, value] : edits) {
        SCOPED_TRACE(what);
        scratch_dir outside;  // holds the work directory and files a hostile profile might name
        const std::string work = outside.path() + "w", ini = work + "/pyramid.ini";
        ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
        std::ofstream(outside.path() + "~gm1.tmp") << "victim";
        std::ofstream(work + "/source.bmp") << "the user's source image";
        store_pyramid_by_hand(work + "/", layers, 2);
        WritePrivateProfileStringA(section, key, value, ini.c_str());
        auto contents = [&] {
            return read_text(outside.path() + "~gm1.tmp") + read_text(work + "/source.bmp") +
                   read_text(ini);
        };
        const std::string before = contents();
        pyramid p;
        p.PushBack(new tarvel::image(1, 5, 5, 0));  // a failed open keeps what was held
        EXPECT_FALSE(p.Create(work.c_str(), nullptr));
        EXPECT_EQ(p.GetLayerCount(), 1);
        EXPECT_EQ(outside.files(), std::vector<std::string>{"~gm1.tmp"});
        EXPECT_EQ(contents(), before);
    }
    // 26 complete layer sections: still more layers than any image can have.
    scratch_dir many;
    store_pyramid_by_hand(many.path(), std::vector<planes>(26, random_planes(1, 2, 2, 1)), 2);
    pyramid p;
    EXPECT_FALSE(p.Create(many.bare().c_str(), nullptr));
}

TEST(PyramidOpen, MissingDirectoryIsCreatedAndRefused) {
    scratch_dir dir;
    pyramid p;
    EXPECT_FALSE(p.Create((dir.bare() + "\\a/b").c_str(), nullptr));
    EXPECT_EQ(p.GetWorkDirectory(), dir.path() + "a/b/");
    EXPECT_FALSE(p.Create("", nullptr));
    EXPECT_FALSE(p.Create(nullptr, nullptr));
    // A directory too long for page-file paths.
    EXPECT_FALSE(p.Create((dir.path() + std::string(300, 'x')).c_str(), nullptr));
    EXPECT_EQ(rmdir((dir.path() + "a/b").c_str()), 0);  // created, and empty
}

}  // namespace
}  // namespace tarvel_test
