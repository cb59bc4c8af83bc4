// The tarvel program when things go wrong around it: temporary directories
// that are missing, too long or full, sizes past the limits, a second build
// of one directory. Every failure exits non-zero with one line naming the
// file and the reason, and leaves neither an output file nor page files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "run_tool.h"

using namespace tarvel_test;

namespace {

// A 3000 x 2400 sample (21 MB of samples: more than the 16 MiB page cache, so
// a paged copy of it writes page files) and the pyramid of a small one.
class ToolFailures : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        inputs = std::make_unique<scratch_dir>();
        ASSERT_EQ(run_tool(*inputs, "sample --width 3000 --height 2400 big.jpg").status, 0);
        ASSERT_EQ(run_tool(*inputs, "sample --width 300 --height 200 small.jpg").status, 0);
        ASSERT_EQ(run_tool(*inputs, "pyramid small.jpg pyr").status, 0);
        ASSERT_EQ(run_tool(*inputs, "pyramid big.jpg big").status, 0);
    }
    static void TearDownTestSuite() { inputs.reset(); }
    // Checks a failure: status, the one message line and what it says, a
    // standard output whose last line is complete (page messages included).
    static void expect_failure(const outcome& o, const std::string& says) {
        EXPECT_NE(o.status, 0);
        const std::vector<std::string> messages = lines_starting(o.err, "tarvel");
        ASSERT_EQ(messages.size(), 1u) << o.err;
        EXPECT_NE(messages[0].find(says), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty() || o.out.back() == '\n') << o.out;
    }
    static std::unique_ptr<scratch_dir> inputs;
    scratch_dir dir;
};
std::unique_ptr<scratch_dir> ToolFailures::inputs;

TEST_F(ToolFailures, BadTemporaryDirectoriesFailTheCommand) {
    const std::string in = inputs->path();
    const std::string missing = "TMPDIR=" + dir.path() + "missing";
    const std::string tooLong = "TMPDIR=/tmp/" + std::string(300, 'x');
    struct row {
        std::string env, args, says;
    };
    const row rows[] = {
        {missing, "capture " + in + "big 0 0 3000 2400 3000 2400 out.png",
         "cannot create a temporary directory in " + dir.path() + "missing/: No such file"},
        {missing, "convert --quiet " + in + "big.jpg out.bmp", "missing/: No such file"},
        {tooLong, "capture " + in + "big 0 0 3000 2400 3000 2400 out.png",
         "the temporary directory ($TMPDIR) is longer than"},
        {tooLong, "convert --quiet " + in + "big.jpg out.bmp", "is longer than"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.env + " " + r.args);
        expect_failure(run_tool(dir, r.args, r.env), r.says);
        EXPECT_EQ(dir.files(), std::vector<std::string>({".stderr", ".stdout"}));
    }
}

TEST_F(ToolFailures, AFullDiskFailsEveryCommandThatWritesPages) {
    small_tmpfs disk(4 << 20);
    if (disk.path().empty()) GTEST_SKIP() << disk.skip_reason();
    const std::string in = inputs->path();
    const std::string full = "TMPDIR=" + disk.path();
    // A small pyramid on the small disk, then a rebuild that does not fit.
    ASSERT_EQ(run_tool(dir, "pyramid " + in + "small.jpg " + disk.path() + "pyr").status, 0);
    struct row {
        std::string env, args;
    };
    const row rows[] = {
        {full, "capture " + in + "big 0 0 3000 2400 3000 2400 out.png"},
        {full, "capture " + in + "big 0 0 3000 2400 3000 2400 out.bmp"},
        {full, "convert --quiet " + in + "big.jpg out.bmp"},
        {"", "pyramid --rebuild " + in + "big.jpg " + disk.path() + "pyr"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.env + " " + r.args);
        const outcome o = run_tool(dir, r.args, r.env);
        expect_failure(o, ": No space left on device");
        EXPECT_NE(o.out.find("Error writing file " + disk.path()), std::string::npos) << o.out;
        EXPECT_EQ(dir.files(), std::vector<std::string>({".stderr", ".stdout"}));
    }
    // The failed rebuild never got past decoding its source: the small
    // pyramid still opens, and no page file of the big one stayed.
    std::string out;
    run_command("ls -A " + disk.path(), dir, out);
    EXPECT_EQ(out, "pyr\n") << "no temporary directory stays";
    const outcome info = run_tool(dir, "info " + disk.path() + "pyr");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("small.jpg"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("files     6 page file(s)"), std::string::npos) << info.out;
}

TEST_F(ToolFailures, SizesPastTheLimitsAreRefusedBeforeAnythingIsMade) {
    const std::string pyr = inputs->path() + "pyr";
    struct row {
        std::string args, says;
    };
    const row rows[] = {
        {"capture " + pyr + " 0 0 300 200 2147483647 1 out.png", "not in range 1 to 1048576"},
        {"capture " + pyr + " 0 0 300 200 0 1 out.png", "not in range 1 to 1048576"},
        {"capture " + pyr + " 0 0 300 200 20000 20000 out.png",
         "20000 x 20000 pixels are more than a capture may have (268435456)"},
        {"capture " + pyr + " 0 0 0 200 20 20 out.png", "not in range 1 to 2147483647"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.args);
        const outcome o = run_tool(dir, r.args);
        EXPECT_NE(o.status, 0);
        EXPECT_NE(o.err.find(r.says), std::string::npos) << o.err;
        EXPECT_EQ(dir.files(), std::vector<std::string>({".stderr", ".stdout"}));
    }
#ifndef TARVEL_SANITIZED
    // Too little memory for the view's pages: said on one line, not thrown.
    expect_failure(
        run_tool(dir, "capture " + pyr + " 0 0 300 200 4000 3000 out.bmp", "ulimit -v 24000;"),
        "out of memory");
#endif
    // A cut JPEG is a damaged source, not a full disk.
    const std::string jpeg = read_text(inputs->path() + "big.jpg");
    std::ofstream(dir.path() + "cut.jpg", std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);
    for (const char* command : {"convert --quiet cut.jpg out.bmp", "pyramid cut.jpg cutpyr"}) {
        const outcome o = run_tool(dir, command);
        expect_failure(o, "cut.jpg: JPEG: Premature end of JPEG file");
        EXPECT_EQ(o.err.find("disk"), std::string::npos) << o.err;
    }
    unlink((dir.path() + "cut.jpg").c_str());
}

TEST_F(ToolFailures, ASecondBuildWaitsOrWithNoWaitFailsAtOnce) {
    const std::string work = dir.path() + "work";
    ASSERT_EQ(run_tool(dir, "pyramid " + inputs->path() + "small.jpg work").status, 0);
    // This test plays the other builder.
    const int lock = open((work + "/pyramid.build.lock").c_str(), O_RDWR);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const std::string rebuild = "pyramid --rebuild " + inputs->path() + "big.jpg work";
    expect_failure(run_tool(dir, rebuild + " --no-wait"),
                   "work/: another build is in progress there");
    outcome waited;
    std::thread builder([&] { waited = run_tool(dir, rebuild); });
    // It says that it waits, and keeps waiting while the lock is held.
    const std::string waiting = "waiting   for another build of work to end\n";
    for (int tries = 0; tries < 600; ++tries) {
        if (read_text(dir.path() + ".stdout").find(waiting) != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(read_text(dir.path() + ".stdout").find(waiting), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(read_text(dir.path() + ".stdout").find("built"), std::string::npos);
    flock(lock, LOCK_UN);
    close(lock);
    builder.join();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_NE(waited.out.find("built     work from"), std::string::npos) << waited.out;
}

TEST_F(ToolFailures, LinksPlantedInAnotherUsersDirectoryAreNeverFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "planting links as another user needs root";
    // Another user (uid 4321) owns the directory written into and plants a
    // link at every name the program may create or look at there. Root, the
    // victim, would be allowed to write where every link leads.
    const uid_t other = 4321;
    const std::string shared = dir.path() + "shared/";
    const std::string victim = dir.path() + "victim";
    const std::string victimDir = dir.path() + "victim-dir";
    std::ofstream(victim) << "precious";
    ASSERT_EQ(mkdir(victimDir.c_str(), 0755), 0);
    std::ofstream(victimDir + "/keep") << "kept";
    for (const char* sub : {"", "tmp", "pyr"}) {
        const std::string d = shared + sub;
        ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
        ASSERT_EQ(chown(d.c_str(), other, other), 0);
    }
    struct link {
        const char* name;
        const std::string& to;
    };
    const link links[] = {
        {"out.png", victim},
        {"out.bmp", victim},
        {"out.png.AAAAAA.part", victim},
        {"conv.bmp", victim},
        {"s.jpg", victim},
        {"view.png", victim},
        {"tmp/tarvel-capture-AAAAAA", victimDir},
        {"tmp/tarvel-convert-AAAAAA", victimDir},
        {"pyr/pyramid.build.lock", victim},
        {"pyr/pyramid.read.lock", victim},
        {"pyr/.pyramid.ini.1.1.tmp", victim},
        {"pyr/~gm1.tmp", victim},
    };
    for (const link& l : links) {
        const std::string at = shared + l.name;
        ASSERT_EQ(symlink(l.to.c_str(), at.c_str()), 0) << at;
        ASSERT_EQ(lchown(at.c_str(), other, other), 0);
    }
    const std::string in = inputs->path();
    const std::string temp = "TMPDIR=" + shared + "tmp";
    const std::string rows[][2] = {
        {temp, "capture " + in + "pyr 0 0 300 200 300 200 " + shared + "out.png"},
        {temp, "capture " + in + "pyr 0 0 300 200 300 200 " + shared + "out.bmp"},
        {temp, "convert --quiet " + in + "small.jpg " + shared + "conv.bmp"},
        {"", "sample --width 50 --height 40 " + shared + "s.jpg"},
        {"", "view " + in + "pyr -o " + shared + "view.png"},
        {"", "pyramid " + in + "small.jpg " + shared + "pyr"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r[1]);
        run_tool(dir, r[1], r[0]);
        EXPECT_EQ(read_text(victim), "precious");
        EXPECT_EQ(read_text(victimDir + "/keep"), "kept");
    }
    // The outputs replaced the links with files of their own.
    for (const char* name : {"out.png", "out.bmp", "conv.bmp", "s.jpg", "view.png"}) {
        struct stat st {};
        EXPECT_EQ(lstat((shared + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
    }
    struct stat st {};
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
}

TEST_F(ToolFailures, AHugeCaptureIsWrittenInBandsNotHeldWhole) {
    // 6000 x 5000 RGB: 86 MiB of samples, 114 MiB as one 32-bit surface. The
    // layer read and the view each have a 16 MiB page cache; a band of rows
    // and the program itself fit in the rest of 64 MiB.
#ifdef TARVEL_SANITIZED
    GTEST_SKIP() << "the sanitizers' shadow memory says nothing about the program's";
#endif
    const outcome o =
        run_tool(dir, "capture " + inputs->path() + "pyr 0 0 300 200 6000 5000 big.png");
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string said = "peak RSS ";
    const std::size_t at = o.out.find(said);
    ASSERT_NE(at, std::string::npos) << o.out;
    const double peak = std::stod(o.out.substr(at + said.size()));
    EXPECT_LT(peak, 64 + 2 * 16) << o.out;
}

}  // namespace
