// Scratch directories, the sample pattern and file reading for the image tests.

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/platform.h"
#include "test_access.h"

namespace tarvel_test {

scratch_dir::scratch_dir() {
    char base[kMaxPath];
    GetTempPathA(kMaxPath, base);
    std::string pattern = std::string(base) + "tarvel-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    m_path = pattern + "/";
}

scratch_dir::~scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> scratch_dir::files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path))
        if (entry.is_regular_file() && entry.path().extension() != ".lock")
            names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

void fill(tarvel::image& img) {
    const int n = img.GetWidth() * img.GetHeight();
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        tarvel::image::pointer p(&img, c, 0);
        for (int i = 0; i < n; ++i, ++p) *p = sample(c, i);
    }
}

small_tmpfs::small_tmpfs(long long bytes) {
    if (geteuid() != 0) {
        m_why = "disk-full cases mount a small tmpfs, which needs root";
        return;
    }
    const std::string target = m_parent.path() + "tmpfs";
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mkdir(target.c_str(), 0755) != 0 ||
        mount("tmpfs", target.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        m_why = "cannot mount a tmpfs on " + target;
        return;
    }
    m_path = target + "/";
}

small_tmpfs::~small_tmpfs() {
    if (!m_path.empty()) umount2(m_path.c_str(), MNT_DETACH);
}

int run_in_child(const std::function<int()>& body, std::chrono::nanoseconds killAfter) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    if (killAfter.count() > 0) {
        std::this_thread::sleep_for(killAfter);
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int run_command(const std::string& command, const scratch_dir& dir, std::string& out) {
    const int status = std::system((command + " >" + dir.path() + "out.txt 2>&1").c_str());
    out = read_text(dir.file_path("out.txt"));
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tarvel_test
