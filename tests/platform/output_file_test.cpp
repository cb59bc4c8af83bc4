// Output files replace their target only when complete and never follow a link; the removal list
// empties what it names when a signal ends the process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/cleanup.h"
#include "platform/output_file.h"

namespace {

namespace fs = std::filesystem;

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class OutputFile : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvel-output-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = std::string(pattern) + "/";
        target = dir + "out.png";
    }
    void TearDown() override { fs::remove_all(dir); }
    // Names in dir other than the target.
    std::vector<std::string> others() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename() != "out.png") names.push_back(e.path().filename());
        return names;
    }
    bool write(tarvel::output_file& out, const char* text) {
        return out.Open(target.c_str()) && std::fputs(text, out.GetStream()) >= 0;
    }
    std::string dir, target;
};

TEST_F(OutputFile, ReplacesTheTargetOnlyWhenCompleteWithItsMode) {
    std::ofstream(target) << "old";
    chmod(target.c_str(), 0640);
    tarvel::output_file out;
    ASSERT_TRUE(write(out, "new"));
    const std::string part = out.GetPath();
    EXPECT_EQ(part.substr(0, target.size() + 1), target + ".");
    EXPECT_EQ(part.substr(part.size() - 5), ".part");
    EXPECT_EQ(fs::status(part).permissions(), fs::perms(0600)) << "private until complete";
    EXPECT_EQ(read(target), "old");
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(read(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_TRUE(others().empty());
    // Abandoned, or failing on a full disk: the target stays, the temporary goes.
    ASSERT_TRUE(write(out, "abandoned"));
    out.Abandon();
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4, 4};
        setrlimit(RLIMIT_FSIZE, &limit);
        tarvel::output_file full;
        _exit(write(full, "far more than four bytes") && !full.Commit() &&
                      std::string(full.GetError()).find("File too large") != std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read(target), "new");
    EXPECT_TRUE(others().empty());
}

TEST_F(OutputFile, LinksAreReplacedNeverFollowedAndDevicesWrittenInPlace) {
    const std::string victim = dir + "victim";
    std::ofstream(victim) << "the victim";
    // Planted in a directory that others may change: a link to a file, and
    // one to a device, are both replaced.
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    for (const std::string& to : {victim, std::string("/dev/null")}) {
        fs::remove(target);
        ASSERT_EQ(symlink(to.c_str(), target.c_str()), 0);
        tarvel::output_file out;
        ASSERT_TRUE(write(out, "mine"));
        ASSERT_TRUE(out.Commit());
        EXPECT_FALSE(fs::is_symlink(target));
        EXPECT_EQ(read(target), "mine");
    }
    EXPECT_EQ(read(victim), "the victim");
    // In a directory only its owner may change, links are the owner's: they
    // are followed, to a device written in place or to a file replaced.
    ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
    const std::string toDevice = dir + "to-null", toFile = dir + "to-victim";
    ASSERT_EQ(symlink("/dev/null", toDevice.c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), toFile.c_str()), 0);
    for (const std::string& path : {std::string("/dev/null"), toDevice, toFile}) {
        tarvel::output_file out;
        ASSERT_TRUE(out.Open(path.c_str())) << out.GetError();
        std::fputs("followed", out.GetStream());
        ASSERT_TRUE(out.Commit());
        EXPECT_TRUE(fs::is_symlink(path) || path == "/dev/null");
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(read(victim), "followed");
}

TEST_F(OutputFile, TemporariesOfKilledWritersGoAndLiveOnesStay) {
    const std::string dead = target + ".abcdef.part", live = target + ".ghijkl.part";
    std::ofstream(dead) << "left by a killed writer";
    std::ofstream(live) << "being written";
    std::ofstream(dir + "out.png.notes.part") << "not a temporary of ours";
    const int fd = open(live.c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    tarvel::output_file out;
    ASSERT_TRUE(write(out, "new"));
    ASSERT_TRUE(out.Commit());
    close(fd);
    std::vector<std::string> left = others();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"out.png.ghijkl.part", "out.png.notes.part"}));
}

TEST_F(OutputFile, RemovalListEmptiesWhatItNamesWhenASignalEndsTheProcess) {
    const std::string file = dir + "file", sub = dir + "sub/", work = dir + "work/";
    fs::create_directories(sub);
    fs::create_directories(work);
    for (const char* name : {"~gm1a.tmp", "pyramid.ini"}) std::ofstream(work + name) << name;
    std::ofstream(file) << "temporary";
    std::ofstream(sub + "page") << "page";
    std::ofstream(dir + "kept") << "forgotten entry";
    const pid_t pid = fork();
    if (pid == 0) {
        tarvel::InstallCleanupOnSignals();
        tarvel::AddCleanupFile(file.c_str());
        tarvel::AddCleanupDirectory(sub.c_str());
        tarvel::AddCleanupNewPageFiles(work.c_str(), {"~gm1a.tmp"});
        for (const char* name : {"~gm2b.tmp", "~GM3C.TMP", "~gmzz.tmp"}) std::ofstream(work + name);
        tarvel::RemoveCleanup(tarvel::AddCleanupFile((dir + "kept").c_str()));
        {
            // A signal while a file is created and listed waits for the listing.
            const tarvel::cleanup_signals_held held;
            raise(SIGTERM);
            std::ofstream(dir + "late") << "made meanwhile";
            tarvel::AddCleanupFile((dir + "late").c_str());
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "dies of the signal";
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(dir + "late"));
    EXPECT_FALSE(fs::exists(sub));
    EXPECT_TRUE(fs::exists(dir + "kept"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(work)) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"pyramid.ini", "~gm1a.tmp", "~gmzz.tmp"}));
}

}  // namespace
