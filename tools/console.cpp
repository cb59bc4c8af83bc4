// Process measurements, private temporary directories and failure messages for the commands.
#include "tools/console.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace tarvel_cli {

namespace {

// Unlinks the entries of an open directory (not recursively).
void empty_directory(int fd) {
    DIR* d = fdopendir(dup(fd));
    if (d == nullptr) return;
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") unlinkat(fd, name.c_str(), 0);
    }
    closedir(d);
}

// Removes the directories "<prefix>XXXXXX" in base that are this user's and
// that no run holds locked: left by runs killed before they could remove them.
void remove_abandoned(const std::string& base, const std::string& prefix) {
    DIR* d = opendir(base.c_str());
    if (d == nullptr) return;
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string path = base + name;
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            empty_directory(fd);
            rmdir(path.c_str());
        }
        close(fd);
    }
    closedir(d);
}

}  // namespace

long long peak_resident_bytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;  // Linux reports KiB
}

bool private_temp_dir::Create(const char* stem, const std::string& base, std::string& error) {
    std::string where = base;
    if (where.empty()) {
        char system[kMaxPath];
        const DWORD n = GetTempPathA(kMaxPath, system);
        if (n == 0 || n >= static_cast<DWORD>(kMaxPath)) {
            error = "the temporary directory ($TMPDIR) is longer than " +
                    std::to_string(kMaxPath - 1) + " characters";
            return false;
        }
        where = system;
    }
    if (where.back() != '/') where += '/';
    const std::string prefix = std::string("tarvel-") + stem + "-";
    remove_abandoned(where, prefix);
    std::string pattern = where + prefix + "XXXXXX";
    // No terminating signal between making the directory and listing it for
    // removal: one then would leave it behind.
    const tarvel::cleanup_signals_held held;
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot create a temporary directory in " + where + ": " + std::strerror(errno);
        return false;
    }
    m_path = pattern;
    m_lock = open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_lock >= 0) flock(m_lock, LOCK_EX);  // new: nobody else holds it
    m_cleanup = tarvel::AddCleanupDirectory(m_path.c_str());
    return true;
}

private_temp_dir::~private_temp_dir() {
    // Removed while still listed, so that a signal meanwhile finishes the job.
    if (m_lock >= 0) {
        empty_directory(m_lock);
        close(m_lock);
    }
    if (!m_path.empty()) rmdir(m_path.c_str());
    tarvel::RemoveCleanup(m_cleanup);
}

void end_page_message_line() {
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void report_failure(const char* command, const std::string& message, bool pageMessages) {
    if (pageMessages) end_page_message_line();
    if (command != nullptr && *command != '\0')
        std::fprintf(stderr, "tarvel %s: %s\n", command, message.c_str());
    else
        std::fprintf(stderr, "tarvel: %s\n", message.c_str());
}

}  // namespace tarvel_cli
