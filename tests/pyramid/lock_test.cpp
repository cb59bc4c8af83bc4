// Builders and readers of one work directory: one build at a time, readers keep their page files
// through rebuilds, overlapping builds and captures never give a mix, and what killed runs left
// is swept by the next build or the last close.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "pyramid/directory_lock.h"
#include "pyramid_test_util.h"

namespace tarvel_test {
namespace {

using lock_kind = tarvel::directory_lock::kind;

TEST(PyramidLocks, SecondBuilderWaitsOrFailsAtOnce) {
    scratch_dir src, work;
    const planes picture = random_planes(3, 500, 300, 1);
    const std::string source = write_bmp(src.path() + "s.bmp", picture);
    tarvel::directory_lock other;  // another builder at work
    ASSERT_TRUE(other.Lock(work.path(), lock_kind::build, true));
    pyramid p;
    p.SetBuildWait(false);
    EXPECT_FALSE(p.Create(work.bare().c_str(), source.c_str(), -1, nullptr));
    EXPECT_EQ(p.GetError(), work.path() + ": another build is in progress there");
    EXPECT_TRUE(work.files().empty()) << "nothing was made";
    // A waiting builder starts once the other is done.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        other.Release();
    });
    p.SetBuildWait(true);
    EXPECT_TRUE(p.Create(work.bare().c_str(), source.c_str(), -1, nullptr));
    release.join();
    EXPECT_TRUE(read_layers(p) == expected_layers(picture, 3));
}

TEST(PyramidLocks, ReaderKeepsItsPageFilesThroughRebuildsUntilItCloses) {
    scratch_dir src, work;
    const planes a = random_planes(3, 700, 500, 1), b = random_planes(2, 600, 600, 2);
    const std::string sourceA = write_bmp(src.path() + "a.bmp", a);
    const std::string sourceB = write_bmp(src.path() + "b.bmp", b);
    ASSERT_TRUE(build(work.bare(), sourceA));
    pyramid reader;
    ASSERT_TRUE(reader.Create(work.bare().c_str(), nullptr));
    // Two rebuilds by another process while the reader holds A.
    EXPECT_EQ(run_in_child([&] {
                  return build(work.bare(), sourceB) && build(work.bare(), sourceB) ? 0 : 1;
              }),
              0);
    EXPECT_TRUE(read_layers(reader) == expected_layers(a, 3));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(reader.GetLayerAt(k)->GetPageLoadFailures(), 0);
    pyramid later;
    ASSERT_TRUE(later.Create(work.bare().c_str(), nullptr));
    EXPECT_TRUE(read_layers(later) == expected_layers(b, 3));
    EXPECT_FALSE(stray_page_files(work).empty()) << "A's files, and the first B's, wait";
    later.Destroy();
    EXPECT_FALSE(stray_page_files(work).empty()) << "still held by the reader";
    reader.Destroy();
    EXPECT_TRUE(stray_page_files(work).empty()) << "the last reader to close swept them";
}

TEST(PyramidLocks, OverlappingBuildsAndReadersNeverSeeAMix) {
    // Two builders alternate two sources into one directory while a reader
    // opens and reads it over and over: every open gives A or B whole, or
    // fails; every build completes; nothing is left over.
    scratch_dir src, work;
    const std::vector<planes> a = expected_layers(random_planes(3, 900, 700, 3), 3);
    const std::vector<planes> b = expected_layers(random_planes(3, 800, 800, 4), 3);
    const std::string sources[] = {write_bmp(src.path() + "a.bmp", a[0]),
                                   write_bmp(src.path() + "b.bmp", b[0])};
    std::vector<pid_t> builders;
    for (int who = 0; who < 2; ++who) {
        builders.push_back(fork());
        if (builders.back() == 0) {
            int failed = 0;
            for (int round = 0; round < 3; ++round)
                failed += !build(work.bare(), sources[(who + round) % 2]);
            _exit(failed);
        }
    }
    int seen = 0, mixed = 0;
    for (bool building = true; building;) {
        building = false;
        for (pid_t pid : builders) building = building || waitpid(pid, nullptr, WNOHANG) == 0;
        pyramid p;
        if (!p.Create(work.bare().c_str(), nullptr)) continue;
        const std::vector<planes> got = read_layers(p);
        ++seen;
        mixed += got != a && got != b;
        for (int k = 0; k < p.GetLayerCount(); ++k)
            mixed += p.GetLayerAt(k)->GetPageLoadFailures() != 0;
    }
    EXPECT_EQ(mixed, 0) << "of " << seen << " opens";
    for (pid_t pid : builders) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0) << "a build failed";
    }
    EXPECT_TRUE(stray_page_files(work).empty());
}

TEST(PyramidLocks, LeftoversOfKilledRunsGoWithTheNextBuildOrClose) {
    scratch_dir src, work;
    const std::string source = write_bmp(src.path() + "s.bmp", random_planes(2, 300, 300, 5));
    ASSERT_TRUE(build(work.bare(), source));
    // A profile write and a build killed half-way, by hand.
    const std::string stale = work.path() + ".pyramid.ini.4d2.1234abcd0001.tmp";
    const std::string orphan = work.path() + "~gm1234.tmp";
    const std::string unfinished = work.path() + "pyramid.ini.new";
    auto leave = [&] {
        std::ofstream(stale) << "[PYRAMID]\n";
        std::ofstream(orphan) << "a page of a killed build";
        std::ofstream(unfinished) << "[Layer0]\n";
    };
    leave();
    {
        pyramid p;  // opening and closing sweeps
        ASSERT_TRUE(p.Create(work.bare().c_str(), nullptr));
        EXPECT_EQ(access(orphan.c_str(), F_OK), 0) << "not while it is open";
    }
    for (const std::string& left : {orphan, stale, unfinished})
        EXPECT_NE(access(left.c_str(), F_OK), 0) << left;
    leave();
    ASSERT_TRUE(build(work.bare(), source));
    for (const std::string& left : {orphan, stale, unfinished})
        EXPECT_NE(access(left.c_str(), F_OK), 0) << left;
}

}  // namespace
}  // namespace tarvel_test
