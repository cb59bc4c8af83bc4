// Damaged pyramids and failing disks: an open refuses what it cannot trust, deletes nothing and
// agrees with `tarvel info`; a failed rebuild leaves an open pyramid readable; a page that cannot
// be written or read fails the build or the capture.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "platform/platform.h"
#include "pyramid/stored_pyramid.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

// Names and sizes of the files of a directory.
std::string listing(const scratch_dir& dir) {
    std::string out;
    for (const std::string& f : dir.files())
        out += f + " " + std::to_string(read_text(dir.path() + f).size()) + "\n";
    return out;
}

// The file named by key of section in dir's pyramid.ini.
std::string named(const scratch_dir& dir, const char* section, const char* key) {
    char value[kMaxPath];
    GetPrivateProfileStringA(section, key, "", value, sizeof value,
                             (dir.path() + "pyramid.ini").c_str());
    return dir.path() + value;
}

TEST(PyramidDamage, DamagedDirectoriesOpenAsNothingDeleteNothingAndInfoAgrees) {
    // A palette source of three layers: 600 x 500, 300 x 250, 150 x 125.
    scratch_dir src;
    const std::string source = write_bmp(src.path() + "s.bmp", random_planes(2, 600, 500, 5));
    const std::string ini = "pyramid.ini";
    struct damage {
        const char* what;
        std::function<void(const scratch_dir&)> apply;
    };
    const damage cases[] = {
        {"a page of the last layer removed",
         [](const scratch_dir& d) { unlink(named(d, "Layer2", "000-0000").c_str()); }},
        {"a page cut short",
         [](const scratch_dir& d) { truncate(named(d, "Layer0", "000-0000").c_str(), 4000); }},
        {"a page emptied",
         [](const scratch_dir& d) { truncate(named(d, "Layer1", "000-0000").c_str(), 0); }},
        {"a palette that is not a page file",
         [&](const scratch_dir& d) {
             std::ofstream(d.path() + "pal.bin") << read_text(named(d, "Layer1", "Palette"));
             WritePrivateProfileStringA("Layer1", "Palette", "pal.bin", (d.path() + ini).c_str());
         }},
        {"a layer count that wraps to 3",
         [&](const scratch_dir& d) {
             WritePrivateProfileStringA("PYRAMID", "LayerCount", "4294967299",
                                        (d.path() + ini).c_str());
         }},
    };
    for (const damage& d : cases) {
        SCOPED_TRACE(d.what);
        scratch_dir work;
        ASSERT_TRUE(build(work.bare(), source));
        d.apply(work);
        const std::string before = listing(work);
        tarvel::stored_pyramid stored;
        EXPECT_FALSE(stored.Read(work.path()));
        pyramid p;
        EXPECT_FALSE(p.Create(work.bare().c_str(), nullptr));
        EXPECT_EQ(p.GetError(), work.path() + ": " + stored.problem);
        EXPECT_EQ(listing(work), before) << "a failed open deletes nothing";
        std::string out;
        EXPECT_EQ(run_command(std::string(TARVEL_TOOL) + " info " + work.bare(), src, out), 1);
        EXPECT_NE(out.find("does not open: " + stored.problem), std::string::npos) << out;
    }
}

TEST(PyramidDamage, FailedRebuildLeavesTheOpenPyramidReadable) {
    scratch_dir src, work;
    const planes old = random_planes(3, 700, 500, 7);
    ASSERT_TRUE(build(work.bare(), write_bmp(src.path() + "old.bmp", old)));
    pyramid p;
    ASSERT_TRUE(p.Create(work.bare().c_str(), nullptr));
    // The rebuild fails after decoding: pyramid.ini has become a directory.
    // It names the work directory another way; its files are the same.
    ASSERT_EQ(unlink((work.path() + "pyramid.ini").c_str()), 0);
    ASSERT_EQ(mkdir((work.path() + "pyramid.ini").c_str(), 0755), 0);
    const std::string source = write_bmp(src.path() + "new.bmp", random_planes(3, 600, 400, 8));
    EXPECT_FALSE(p.Create((work.path() + "./").c_str(), source.c_str(), -1, nullptr));
    EXPECT_NE(std::string(p.GetError()).find("pyramid.ini"), std::string::npos) << p.GetError();
    ASSERT_EQ(p.GetLayerCount(), 3);
    EXPECT_TRUE(read_layers(p) == expected_layers(old, 3));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(p.GetLayerAt(k)->GetPageLoadFailures(), 0);
    rmdir((work.path() + "pyramid.ini").c_str());
}

TEST(PyramidDamage, PagesThatCannotBeReadFailTheCapture) {
    scratch_dir src, work;
    ASSERT_TRUE(
        build(work.bare(), write_bmp(src.path() + "s.bmp", random_planes(2, 2000, 1200, 9))));
    pyramid p;
    ASSERT_TRUE(p.Create(work.bare().c_str(), nullptr));
    image view;
    ASSERT_TRUE(p.Capture(view, 100, 60, 0, 0, 2000, 1200));
    // Someone deletes a page file of layer 0 after the open.
    const std::string page = named(work, "Layer0", "000-0001");
    ASSERT_EQ(unlink(page.c_str()), 0);
    captured_stdout([&] { EXPECT_FALSE(p.Capture(view, 2000, 1200, 0, 0, 2000, 1200)); });
    EXPECT_NE(std::string(p.GetError()).find(page), std::string::npos) << p.GetError();
    // A view that does not touch it still works.
    EXPECT_TRUE(p.Capture(view, 100, 60, 0, 0, 2000, 1200));
}

TEST(PyramidDiskFull, BuildAndCaptureFailWithoutStoringZeros) {
    // 2 MiB hold the source's first pages but not the whole pyramid.
    small_tmpfs disk(2 << 20);
    if (disk.path().empty()) GTEST_SKIP() << disk.skip_reason();
    scratch_dir src, work;
    const std::string source = write_bmp(src.path() + "s.bmp", random_planes(3, 1500, 1000, 3));
    pyramid p;
    const std::string said = captured_stdout(
        [&] { EXPECT_FALSE(p.Create((disk.path() + "w").c_str(), source.c_str(), -1, nullptr)); });
    EXPECT_NE(said.find("Error writing file"), std::string::npos) << said;
    EXPECT_NE(std::string(p.GetError()).find("No space left on device"), std::string::npos)
        << p.GetError();
    EXPECT_EQ(read_text(disk.path() + "w/pyramid.ini").find("Name="), std::string::npos);
    // Nothing is left on the small disk but the lock files.
    std::string out;
    run_command("ls -A " + disk.path() + "w", src, out);
    EXPECT_EQ(out, "pyramid.build.lock\npyramid.read.lock\n") << out;

    // A capture whose view does not fit the disk fails too.
    ASSERT_TRUE(p.Create(work.bare().c_str(), source.c_str(), -1, nullptr));
    image view;
    view.SetTempPath((disk.path() + "w").c_str());
    captured_stdout([&] { EXPECT_FALSE(p.Capture(view, 3000, 2000, 0, 0, 1500, 1000)); });
    EXPECT_NE(std::string(p.GetError()).find("No space left on device"), std::string::npos)
        << p.GetError();
}

}  // namespace
}  // namespace tarvel_test
