// Building pyramids from image files: layers as box averages, pyramid.ini,
// progress, another process opening the result, bad sources and directories,
// replacement of an earlier pyramid and cleanup after a failure.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>

#include "platform/platform.h"
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

bool build(pyramid& p, const std::string& work, const std::string& source,
           KORBAS::IProgressWork* sink = nullptr) {
    return p.Create(work.c_str(), source.c_str(), -1, sink);
}

TEST(PyramidBuild, WorkedExamplesLayersProfileAndProgress) {
    // Each layer the box average of the one above, for RGB, palette and grey
    // sources; per layer i from 1 the sink sees the text, its rows (three
    // times for RGB) as the total and one advance per row.
    struct example {
        int type, width, height;
        std::vector<std::pair<int, int>> sizes;
    };
    const example examples[] = {
        {3, 960, 600, {{960, 600}, {480, 300}, {240, 150}}},
        {2, 241, 10, {{241, 10}, {120, 5}}},
        {1, 480, 480, {{480, 480}, {240, 240}}},
        {3, 240, 240, {{240, 240}}},
    };
    const std::string format = tarvel::LoadResourceText(10500);
    ASSERT_NE(format.find("%d"), std::string::npos);
    for (const example& e : examples) {
        SCOPED_TRACE(testing::Message() << e.width << " x " << e.height);
        scratch_dir src, work;
        const planes source = random_planes(e.type, e.width, e.height, e.type);
        write_bmp(src.path() + "s.bmp", source);
        recording_sink sink;
        pyramid p;
        ASSERT_TRUE(build(p, work.bare(), src.path() + "s.bmp", &sink));
        const std::vector<planes> got = read_layers(p);
        const int n = static_cast<int>(e.sizes.size());
        ASSERT_EQ(static_cast<int>(got.size()), n);
        std::vector<std::string> calls;
        for (int k = 0; k < n; ++k) {
            EXPECT_EQ(std::make_pair(got[k].width, got[k].height), e.sizes[k]);
            if (k == 0) continue;
            char text[256];
            std::snprintf(text, sizeof text, format.c_str(), k, n - 1);
            const int rows = e.sizes[k].second * (e.type == 3 ? 3 : 1);
            calls.push_back(std::string("text ") + text);
            calls.push_back("total " + std::to_string(rows));
            calls.insert(calls.end(), rows, "advance 1");
        }
        EXPECT_EQ(sink.calls, calls);
        // A grey BMP arrives as a palette image with the grey ramp.
        planes want = source;
        if (e.type == 1) {
            want.type = 2;
            for (int i = 0; i < 768; ++i) want.palette.push_back(static_cast<unsigned char>(i / 3));
        }
        EXPECT_TRUE(got == expected_layers(want, n));
        EXPECT_EQ(profile_string(work.path(), "PYRAMID", "Name"), src.path() + "s.bmp");
        EXPECT_EQ(profile_string(work.path(), "PYRAMID", "LayerCount"), std::to_string(n));
        EXPECT_EQ(profile_string(work.path(), "PYRAMID", "Version"), "2");
        EXPECT_EQ(profile_string(work.path(), "Layer0", "Width"), std::to_string(e.width));
        EXPECT_TRUE(stray_page_files(work.path()).empty());
    }
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

int build_and_dump(void* arg) {
    const auto& c = *static_cast<two_process_case*>(arg);
    pyramid p;
    if (!build(p, c.work, c.source)) return 1;
    dump(read_layers(p), c.raw);
    p.SetBrightnessContrast(30.0, 70.0);
    dump(read_layers(p), c.mapped);
    return 0;
}

TEST(PyramidBuild, AnotherProcessOpensWithoutTheSource) {
    scratch_dir src, work;
    const planes source = random_planes(3, 700, 500, 11);
    two_process_case c{work.bare(), src.path() + "s.bmp", src.path() + "raw",
                       src.path() + "mapped"};
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
    dump(read_layers(p), src.path() + "mine");
    EXPECT_EQ(slurp(src.path() + "mine"), slurp(c.mapped));
    // The stored samples themselves, as the building process saw them.
    for (int i = 0; i < p.GetLayerCount(); ++i) p.GetLayerAt(i)->SetDefaultIntensities();
    const std::vector<planes> raw = read_layers(p);
    dump(raw, src.path() + "mine");
    EXPECT_EQ(slurp(src.path() + "mine"), slurp(c.raw));
    EXPECT_TRUE(raw == expected_layers(source, 3));
}

TEST(PyramidBuild, EarlierPyramidSurvivesBadSourcesAndAGoodOneReplacesIt) {
    scratch_dir src, work;
    const planes old = random_planes(3, 500, 300, 1);
    const planes next = random_planes(2, 300, 400, 22);
    write_bmp(src.path() + "old.bmp", old);
    write_bmp(src.path() + "next.bmp", next);
    {
        pyramid p;
        ASSERT_TRUE(build(p, work.bare(), src.path() + "old.bmp"));
    }
    std::ofstream(src.path() + "garbage.jpg") << "not an image at all";
    std::ofstream(src.path() + "empty.png");
    std::ofstream(src.path() + "truncated.bmp") << slurp(src.path() + "old.bmp").substr(0, 100);
    const std::vector<std::string> files = work.files();
    const std::string profile = slurp(work.path() + "pyramid.ini");
    const std::string names[] = {"garbage.jpg", "empty.png",   "truncated.bmp",
                                 "missing.tif", std::string(), std::string(1100, 'x')};
    for (const std::string& name : names) {
        SCOPED_TRACE(name.substr(0, 20));
        pyramid p;
        EXPECT_FALSE(build(p, work.bare(), src.path() + name));
        EXPECT_EQ(p.GetLayerCount(), 0);
        EXPECT_EQ(work.files(), files);
        EXPECT_EQ(slurp(work.path() + "pyramid.ini"), profile);
    }
    pyramid p;
    EXPECT_FALSE(p.Create(work.bare().c_str(), nullptr, -1, nullptr));
    ASSERT_TRUE(p.Create(work.bare().c_str(), nullptr));  // the earlier pyramid is intact
    EXPECT_TRUE(read_layers(p) == expected_layers(old, 3));

    // Leftovers of an interrupted build, and a file that is not a page file.
    std::ofstream(work.path() + "~gm00beef.tmp") << "stray page";
    std::ofstream(work.path() + "~GM12.TMP") << "stray page from Windows";
    std::ofstream(work.path() + "notes.txt") << "keep me";
    // Rebuilding into the directory of the pyramid's own layers drops them.
    ASSERT_TRUE(build(p, work.bare(), src.path() + "next.bmp"));
    EXPECT_TRUE(read_layers(p) == expected_layers(next, 2));
    EXPECT_TRUE(stray_page_files(work.path()).empty());
    EXPECT_EQ(slurp(work.path() + "notes.txt"), "keep me");
    EXPECT_EQ(profile_string(work.path(), "Layer2", "Width"), "<none>");  // old's third layer
    pyramid again;
    ASSERT_TRUE(again.Create(work.bare().c_str(), nullptr));
    EXPECT_TRUE(read_layers(again) == expected_layers(next, 2));
}

struct read_only_case {
    std::string work, source;
    bool open;  // open the stored pyramid rather than build one
};

int in_read_only(void* arg) {
    const auto& c = *static_cast<read_only_case*>(arg);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
    pyramid p;
    if (c.open) return p.Create(c.work.c_str(), nullptr) && p.GetLayerCount() == 2 ? 0 : 1;
    if (build(p, c.work, c.source)) return 1;
    return list_files(c.work + "/").empty() ? 0 : 3;
}

TEST(PyramidBuild, ReadOnlyDirectory) {
    // Built as an unprivileged user (root would write anyway): refused before
    // decoding, nothing created. A stored pyramid still opens read-only.
    scratch_dir src, work;
    read_only_case c{work.bare(), src.path() + "s.bmp", false};
    write_bmp(c.source, random_planes(3, 300, 200, 4));
    ASSERT_EQ(chmod(src.bare().c_str(), 0755), 0);
    ASSERT_EQ(chmod(c.work.c_str(), 0555), 0);
    EXPECT_EQ(run_in_child(in_read_only, &c), 0);
    ASSERT_EQ(chmod(c.work.c_str(), 0755), 0);
    pyramid p;
    ASSERT_TRUE(build(p, c.work, c.source));
    ASSERT_EQ(chmod(c.work.c_str(), 0555), 0);
    for (const std::string& f : work.files()) chmod((work.path() + f).c_str(), 0444);
    c.open = true;
    EXPECT_EQ(run_in_child(in_read_only, &c), 0);
    ASSERT_EQ(chmod(c.work.c_str(), 0755), 0);
}

TEST(PyramidBuild, FailureAfterDecodingRemovesEverythingItMade) {
    // pyramid.ini cannot be written (a directory of that name): the build
    // fails after decoding and halving and deletes every page file it made.
    scratch_dir src, work;
    ASSERT_EQ(mkdir((work.path() + "pyramid.ini").c_str(), 0755), 0);
    // Larger than the cache, so that layer 0 has page files when the build fails.
    write_bmp(src.path() + "s.bmp", random_planes(2, 4500, 4000, 3));
    pyramid p;
    EXPECT_FALSE(build(p, work.bare(), src.path() + "s.bmp"));
    EXPECT_EQ(p.GetLayerCount(), 0);
    EXPECT_TRUE(work.files().empty());
    rmdir((work.path() + "pyramid.ini").c_str());
}

}  // namespace
}  // namespace tarvel_test
