// Crash safety of a build: a build process killed at any point leaves a
// directory that opens as the earlier pyramid or as the complete new one,
// never a mix; a rebuild then succeeds and leaves no stray page file.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/cleanup.h"
#include "pyramid/page_files.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

// A sink that sends its own process a signal at the Nth call.
struct killing_sink : KORBAS::IProgressWork {
    int left, sig;
    explicit killing_sink(int n, int s = SIGKILL) : left(n), sig(s) {}
    void SetTotal(int) override { SetText(nullptr); }
    void Advance(int) override { SetText(nullptr); }
    void SetText(const char*) override {
        if (--left == 0) raise(sig);
    }
};

enum class found { nothing, old_pyramid, new_pyramid, mixed };

class PyramidCrash : public testing::Test {
  protected:
    void SetUp() override {
        oldLayers = expected_layers(random_planes(3, 700, 500, 1), 3);
        newLayers = expected_layers(random_planes(3, 1200, 1000, 2), 4);
        oldSource = write_bmp(src.path() + "old.bmp", oldLayers[0]);
        newSource = write_bmp(src.path() + "new.bmp", newLayers[0]);
        ASSERT_TRUE(build(work.bare(), oldSource));
    }
    // Builds the new pyramid over the old one in a child process that kills
    // itself at a progress call or once the profile it writes beside
    // pyramid.ini holds a section.
    int build_then_die() {
        const std::string ini = work.path() + "pyramid.ini.new";
        const std::string section = "[" + killAtSection + "]";
        if (!killAtSection.empty()) {
            std::thread([ini, section] {
                for (std::string s;; s = read_text(ini)) {
                    if (s.find(section) != std::string::npos) raise(SIGKILL);
                    std::this_thread::sleep_for(std::chrono::microseconds(20));
                }
            }).detach();
        }
        killing_sink sink(killAtCall, killWith);
        build(work.bare(), newSource, nullptr, &sink);
        return 0;  // the build finished before the kill
    }
    found what_opens() {
        pyramid p;
        if (!p.Create(work.bare().c_str(), nullptr)) return found::nothing;
        const std::vector<planes> layers = read_layers(p);
        if (p.GetName() == oldSource && layers == oldLayers) return found::old_pyramid;
        if (p.GetName() == newSource && layers == newLayers) return found::new_pyramid;
        return found::mixed;
    }
    // What a killed build left opens as, never a mix; a rebuild of the old
    // pyramid over it then works, leaves no stray page file and readies the
    // next kill.
    found check_and_rebuild() {
        const found f = what_opens();
        EXPECT_NE(f, found::mixed);
        EXPECT_NE(f, found::nothing);
        pyramid p;
        EXPECT_TRUE(build(work.bare(), oldSource, &p));
        EXPECT_TRUE(read_layers(p) == oldLayers);
        EXPECT_TRUE(stray_page_files(work).empty());
        return f;
    }

    scratch_dir src, work;
    std::string oldSource, newSource;
    std::vector<planes> oldLayers, newLayers;
    int killAtCall = -1;
    int killWith = SIGKILL;
    std::string killAtSection;
};

TEST_F(PyramidCrash, KilledWhileBuildingOpensAsTheOldPyramid) {
    // 1200 x 1000 RGB: the build reports 1 text, 1 total and 1000 decoded
    // rows (calls 1 to 1002) while it writes every layer beside the old
    // pyramid. Kill at the first call, halfway and at the very last call.
    for (int n : {1, 2, 500, 1001, 1002}) {
        SCOPED_TRACE(n);
        killAtCall = n;
        ASSERT_EQ(run_in_child([this] { return build_then_die(); }), 128 + SIGKILL);
        EXPECT_EQ(check_and_rebuild(), found::old_pyramid);
    }
}

TEST_F(PyramidCrash, KilledWhileFreezingOpensAsOldOrNew) {
    // Sections appear one by one in the new profile as layers are frozen, and
    // it replaces pyramid.ini once complete; the watcher may be too late for
    // the last ones, and then the complete new pyramid opens.
    int killedEarly = 0;
    for (const char* section : {"Layer0", "Layer1", "Layer2", "Layer3"}) {
        SCOPED_TRACE(section);
        killAtSection = section;
        const int status = run_in_child([this] { return build_then_die(); });
        EXPECT_TRUE(status == 128 + SIGKILL || status == 0);
        const found f = check_and_rebuild();
        EXPECT_TRUE(f == found::old_pyramid || f == found::new_pyramid);
        killedEarly += f == found::old_pyramid;
    }
    EXPECT_GE(killedEarly, 1);
}

TEST_F(PyramidCrash, KilledAtAnyMomentNeverOpensAsAMix) {
    // Kills spread over a whole build: the directory opens as the old
    // pyramid or the new one.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run_in_child([this] { return build_then_die(); }), 0);
    const auto whole = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(build(work.bare(), oldSource));
    for (int step = 1; step <= 12; ++step) {
        run_in_child([this] { return build_then_die(); }, whole * step / 12);
        check_and_rebuild();  // fails on a mix
    }
}

TEST_F(PyramidCrash, InterruptedBuildRemovesWhatItMadeAtOnce) {
    // SIGINT or SIGTERM with the signal cleanup installed: the page files the
    // build made go before the process ends, the earlier pyramid stays whole.
    for (int sig : {SIGINT, SIGTERM}) {
        for (int n : {1, 500, 1002}) {
            SCOPED_TRACE(testing::Message() << "signal " << sig << " at call " << n);
            const std::vector<std::string> earlier = work.files();
            killAtCall = n;
            killWith = sig;
            ASSERT_EQ(run_in_child([this] {
                          tarvel::InstallCleanupOnSignals();
                          return build_then_die();
                      }),
                      128 + sig);
            for (const std::string& f : work.files()) {
                if (tarvel::IsPageFileName(f)) {
                    EXPECT_NE(std::find(earlier.begin(), earlier.end(), f), earlier.end()) << f;
                }
                EXPECT_NE(f[0], '.') << "a profile temporary: " << f;
            }
            EXPECT_EQ(what_opens(), found::old_pyramid);
            check_and_rebuild();
        }
    }
}

}  // namespace
}  // namespace tarvel_test
