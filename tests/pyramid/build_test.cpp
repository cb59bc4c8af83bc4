// Building pyramids from image files: layers as box averages, pyramid.ini,
// progress, another process opening the result, bad sources and directories,
// replacement of an earlier pyramid and cleanup after a failure.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>

#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid.h"
#include "pyramid/resources.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::pyramid;

std::string profile_string(const std::string& dir, const char* section, const char* key) {
    char value[2048];
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value,
                             (dir + "pyramid.ini").c_str());
    return value;
}

// Page files in dir that no section of its pyramid.ini names.
std::vector<std::string> unreferenced_page_files(const std::string& dir) {
    std::vector<std::string> stray;
    const std::string ini = dir + "pyramid.ini";
    std::string referenced;
    std::ifstream in(ini);
    for (std::string line; std::getline(in, line);) referenced += line + "\n";
    for (const std::string& f : list_files(dir)) {
        if (tarvel::IsPageFileName(f) && referenced.find("=" + f + "\n") == std::string::npos) {
            stray.push_back(f);
        }
    }
    return stray;
}

TEST(PyramidBuild, LayersAreBoxAveragesOfTheLayerAbove) {
    for (int type : {3, 2, 1}) {
        SCOPED_TRACE(type);
        scratch_dir dir;
        const planes source = random_planes(type, 960, 600, type);
        write_bmp(dir.path() + "source.bmp", source);
        pyramid p;
        ASSERT_TRUE(p.Create((dir.path() + "work").c_str(), (dir.path() + "source.bmp").c_str(), -1,
                             nullptr));
        const std::vector<planes> got = read_layers(p);
        ASSERT_EQ(got.size(), 3u);  // 960 x 600, 480 x 300, 240 x 150
        EXPECT_EQ(got[2].width, 240);
        EXPECT_EQ(got[2].height, 150);
        // A grey BMP arrives as a palette image with the grey ramp.
        planes want = source;
        if (type == 1) {
            want.type = 2;
            for (int i = 0; i < 768; ++i) want.palette.push_back(static_cast<unsigned char>(i / 3));
        }
        EXPECT_TRUE(got == expected_layers(want));
        const std::string work = dir.path() + "work/";
        EXPECT_EQ(profile_string(work, "PYRAMID", "Name"), dir.path() + "source.bmp");
        EXPECT_EQ(profile_string(work, "PYRAMID", "LayerCount"), "3");
        EXPECT_EQ(profile_string(work, "PYRAMID", "Version"), "2");
        EXPECT_EQ(profile_string(work, "Layer0", "Width"), "960");
        EXPECT_EQ(profile_string(work, "Layer2", "Height"), "150");
        EXPECT_TRUE(unreferenced_page_files(work).empty());
        remove_directory(work);
    }
}

TEST(PyramidBuild, NameIsTheSourcePathAsPassed) {
    scratch_dir dir;
    write_bmp(dir.path() + "map.bmp", random_planes(3, 300, 20, 5));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    pyramid p;
    const bool built = p.Create("work", "./map.bmp", -1, nullptr);
    ASSERT_EQ(chdir(cwd), 0);
    ASSERT_TRUE(built);
    EXPECT_EQ(p.GetName(), "./map.bmp");
    EXPECT_EQ(profile_string(dir.path() + "work/", "PYRAMID", "Name"), "./map.bmp");
    const std::string work = dir.path() + "work/";
    remove_directory(work);
}

TEST(PyramidBuild, ProgressCallsASinkSees) {
    // RGB 960 x 600: layers 1 and 2 announce 3 x 300 and 3 x 150 rows.
    // Palette 600 x 500: 250 and 125 rows. Decoding and freezing report nothing.
    struct source {
        int type, width, height;
        std::vector<int> totals;
    };
    const char* format = nullptr;
    const std::string text = tarvel::LoadResourceText(tarvel::kLayerBuildingText);
    format = text.c_str();
    for (const source& s : {source{3, 960, 600, {900, 450}}, source{2, 600, 500, {250, 125}}}) {
        scratch_dir dir;
        const planes in = random_planes(s.type, s.width, s.height, 9);
        write_bmp(dir.path() + "s.bmp", in);
        std::vector<std::string> want;
        for (int i = 1; i <= 2; ++i) {
            char line[256];
            std::snprintf(line, sizeof line, format, i, 2);
            want.push_back(std::string("text ") + line);
            want.push_back("total " + std::to_string(s.totals[i - 1]));
            want.insert(want.end(), s.totals[i - 1], "advance 1");
        }
        // Two work directories: a build replaces the pyramid of its directory.
        recording_sink sink;
        pyramid withSink, without;
        const std::string src = dir.path() + "s.bmp";
        ASSERT_TRUE(withSink.Create((dir.path() + "a").c_str(), src.c_str(), -1, &sink));
        EXPECT_EQ(sink.calls, want);
        ASSERT_TRUE(without.Create((dir.path() + "b").c_str(), src.c_str(), -1, nullptr));
        EXPECT_TRUE(read_layers(withSink) == read_layers(without));
        remove_directory(dir.path() + "a");
        remove_directory(dir.path() + "b");
    }
    EXPECT_NE(std::string(format).find("%d"), std::string::npos);
}

struct two_process_case {
    std::string work, source, raw, mapped;
};

void dump(const std::vector<planes>& layers, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    for (const planes& p : layers) {
        for (const auto& c : p.channel)
            out.write(reinterpret_cast<const char*>(c.data()), c.size());
    }
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int build_and_dump(void* arg) {
    const auto& c = *static_cast<two_process_case*>(arg);
    pyramid p;
    if (!p.Create(c.work.c_str(), c.source.c_str(), -1, nullptr)) return 1;
    dump(read_layers(p), c.raw);
    p.SetBrightnessContrast(30.0, 70.0);
    dump(read_layers(p), c.mapped);
    return 0;
}

TEST(PyramidBuild, AnotherProcessOpensWithoutTheSource) {
    scratch_dir dir;
    scratch_dir out;
    const planes source = random_planes(3, 700, 500, 11);
    two_process_case c{dir.path() + "work", dir.path() + "s.bmp", out.path() + "raw",
                       out.path() + "mapped"};
    write_bmp(c.source, source);
    ASSERT_EQ(run_in_child(build_and_dump, &c), 0);
    ASSERT_EQ(unlink(c.source.c_str()), 0);  // opening must not need it

    pyramid p;
    ASSERT_TRUE(p.Create(c.work.c_str(), nullptr));
    EXPECT_EQ(p.GetName(), c.source);
    double b = 0, k = 0;
    p.GetBrightnessContrast(b, k);
    EXPECT_EQ(b, 30.0);
    EXPECT_EQ(k, 70.0);
    const std::vector<planes> mapped = read_layers(p);
    dump(mapped, out.path() + "mine");
    EXPECT_EQ(slurp(out.path() + "mine"), slurp(c.mapped));
    for (const planes& layer : mapped) EXPECT_EQ(layer.type, 3);
    // The stored samples themselves: layer 0 is the source, each layer the
    // box average of the one above, as the building process saw them.
    tarvel::pyramid unmapped;
    ASSERT_TRUE(unmapped.Create(c.work.c_str(), nullptr));
    for (int i = 0; i < unmapped.GetLayerCount(); ++i)
        unmapped.GetLayerAt(i)->SetDefaultIntensities();
    const std::vector<planes> raw = read_layers(unmapped);
    dump(raw, out.path() + "mine");
    EXPECT_EQ(slurp(out.path() + "mine"), slurp(c.raw));
    EXPECT_TRUE(raw == expected_layers(source));
    const std::string work = c.work + "/";
    remove_directory(work);
}

TEST(PyramidBuild, BadSourcesChangeNothing) {
    scratch_dir dir;
    const planes old = random_planes(3, 500, 300, 1);
    write_bmp(dir.path() + "old.bmp", old);
    const std::string work = dir.path() + "work/";
    {
        pyramid p;
        ASSERT_TRUE(p.Create(work.c_str(), (dir.path() + "old.bmp").c_str(), -1, nullptr));
    }
    std::ofstream(dir.path() + "garbage.jpg") << "not an image at all";
    std::ofstream(dir.path() + "empty.png");
    std::ofstream(dir.path() + "truncated.bmp") << slurp(dir.path() + "old.bmp").substr(0, 100);
    const std::vector<std::string> files = list_files(work);
    const std::string profile = slurp(work + "pyramid.ini");
    const std::string names[] = {"garbage.jpg", "empty.png",   "truncated.bmp",
                                 "missing.tif", std::string(), std::string(1100, 'x')};
    for (const std::string& name : names) {
        SCOPED_TRACE(name.substr(0, 20));
        pyramid p;
        EXPECT_FALSE(p.Create(work.c_str(), (dir.path() + name).c_str(), -1, nullptr));
        EXPECT_EQ(p.GetLayerCount(), 0);
        EXPECT_EQ(list_files(work), files);
        EXPECT_EQ(slurp(work + "pyramid.ini"), profile);
    }
    pyramid p;
    EXPECT_FALSE(p.Create(work.c_str(), nullptr, -1, nullptr));
    ASSERT_TRUE(p.Create(work.c_str(), nullptr));  // the earlier pyramid is intact
    EXPECT_TRUE(read_layers(p) == expected_layers(old));
    remove_directory(work);
}

struct read_only_case {
    std::string work, source;
};

int build_in_read_only(void* arg) {
    const auto& c = *static_cast<read_only_case*>(arg);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    pyramid p;
    if (p.Create(c.work.c_str(), c.source.c_str(), -1, nullptr)) return 1;
    return list_files(c.work + "/").empty() ? 0 : 3;
}

int open_in_read_only(void* arg) {
    const auto& c = *static_cast<read_only_case*>(arg);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    pyramid p;
    return p.Create(c.work.c_str(), nullptr) && p.GetLayerCount() == 2 ? 0 : 1;
}

TEST(PyramidBuild, ReadOnlyDirectory) {
    // Built as an unprivileged user (root would write anyway): refused before
    // decoding, nothing created. A stored pyramid still opens read-only.
    scratch_dir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    read_only_case c{dir.path() + "ro", dir.path() + "s.bmp"};
    write_bmp(c.source, random_planes(3, 300, 200, 4));
    ASSERT_EQ(mkdir(c.work.c_str(), 0555), 0);
    EXPECT_EQ(run_in_child(build_in_read_only, &c), 0);
    ASSERT_EQ(chmod(c.work.c_str(), 0755), 0);
    {
        pyramid p;
        ASSERT_TRUE(p.Create(c.work.c_str(), c.source.c_str(), -1, nullptr));
    }
    ASSERT_EQ(chmod(c.work.c_str(), 0555), 0);
    for (const std::string& f : list_files(c.work + "/")) chmod((c.work + "/" + f).c_str(), 0444);
    EXPECT_EQ(run_in_child(open_in_read_only, &c), 0);
    ASSERT_EQ(chmod(c.work.c_str(), 0755), 0);
    remove_directory(c.work);
}

TEST(PyramidBuild, RebuildReplacesTheEarlierPyramidAndItsStrays) {
    scratch_dir dir;
    const std::string work = dir.path() + "work/";
    const planes a = random_planes(2, 600, 500, 21);
    const planes b = random_planes(3, 300, 400, 22);
    write_bmp(dir.path() + "a.bmp", a);
    write_bmp(dir.path() + "b.bmp", b);
    pyramid p;
    ASSERT_TRUE(p.Create(work.c_str(), (dir.path() + "a.bmp").c_str(), -1, nullptr));
    // Leftovers of an interrupted build, and a file that is not a page file.
    std::ofstream(work + "~gm00beef.tmp") << "stray page";
    std::ofstream(work + "~GM12.TMP") << "stray page from Windows";
    std::ofstream(work + "notes.txt") << "keep me";
    // Rebuilding into the directory of the pyramid's own layers drops them.
    ASSERT_TRUE(p.Create(work.c_str(), (dir.path() + "b.bmp").c_str(), -1, nullptr));
    EXPECT_TRUE(read_layers(p) == expected_layers(b));
    EXPECT_TRUE(unreferenced_page_files(work).empty());
    EXPECT_EQ(slurp(work + "notes.txt"), "keep me");
    EXPECT_EQ(profile_string(work, "PYRAMID", "LayerCount"), "2");
    EXPECT_EQ(profile_string(work, "Layer2", "Width"), "<none>");  // a's third layer is gone
    pyramid again;
    ASSERT_TRUE(again.Create(work.c_str(), nullptr));
    EXPECT_TRUE(read_layers(again) == expected_layers(b));
    remove_directory(work);
}

TEST(PyramidBuild, FailureAfterDecodingRemovesEverythingItMade) {
    // pyramid.ini cannot be written (a directory of that name): the build
    // fails after decoding and halving and deletes every page file it made.
    scratch_dir dir;
    const std::string work = dir.path() + "work/";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((work + "pyramid.ini").c_str(), 0755), 0);
    // Larger than the cache, so that layer 0 has page files when the build fails.
    write_bmp(dir.path() + "s.bmp", random_planes(2, 4500, 4000, 3));
    pyramid p;
    EXPECT_FALSE(p.Create(work.c_str(), (dir.path() + "s.bmp").c_str(), -1, nullptr));
    EXPECT_EQ(p.GetLayerCount(), 0);
    EXPECT_TRUE(list_files(work).empty());
    rmdir((work + "pyramid.ini").c_str());
    rmdir(work.c_str());
}

}  // namespace
}  // namespace tarvel_test
