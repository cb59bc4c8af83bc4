// Output files: an exclusive temporary beside the target, renamed onto it once complete.
#include "platform/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace tarvel {

namespace {

// "XXXXXX" for mkstemps, and what follows it.
constexpr const char* kPartSuffix = ".part";
constexpr std::size_t kRandomChars = 6;
// The target's name is cut to this many bytes in the temporary's name, so
// that the temporary's name stays within NAME_MAX.
constexpr std::size_t kNameStemBytes = 200;

struct split_path {
    std::string dir;   // ends with '/', or "./"
    std::string stem;  // the target's name, cut to kNameStemBytes
};

split_path split(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    split_path s;
    s.dir = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
    s.stem = slash == std::string::npos ? target : target.substr(slash + 1);
    if (s.stem.size() > kNameStemBytes) s.stem.resize(kNameStemBytes);
    return s;
}

// A directory that only its owner, this user or root, may change.
bool trusted_directory(const std::string& dir) {
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && (st.st_uid == 0 || st.st_uid == geteuid()) &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Where to write for `target`: a character device or FIFO (or a socket) is
// written in place; anything else goes through a temporary renamed onto the
// path returned. A symbolic link is followed only in a trusted directory
// (the user's own link, /dev/stdout); elsewhere it is replaced.
std::string resolve(const std::string& target, bool& inPlace) {
    inPlace = false;
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0) return target;
    if (S_ISLNK(st.st_mode)) {
        if (!trusted_directory(split(target).dir)) return target;
        if (stat(target.c_str(), &st) != 0) return target;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            inPlace = true;
            return target;
        }
        char resolved[PATH_MAX];
        return realpath(target.c_str(), resolved) != nullptr ? resolved : target;
    }
    inPlace = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
    return target;
}

// Removes the temporaries of this target that their writers left unlocked:
// writers killed before they could remove them. Only regular files of this
// user are looked at, and a file is removed only while it is still the file
// that was found unlocked.
void remove_abandoned(const split_path& s) {
    DIR* d = opendir(s.dir.c_str());
    if (d == nullptr) return;
    const std::string prefix = s.stem + ".";
    const std::size_t length = prefix.size() + kRandomChars + std::strlen(kPartSuffix);
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name.size() != length || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - std::strlen(kPartSuffix), std::string::npos, kPartSuffix) !=
                0) {
            continue;
        }
        const std::string path = s.dir + name;
        const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        struct stat now {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            flock(fd, LOCK_EX | LOCK_NB) == 0 && lstat(path.c_str(), &now) == 0 &&
            now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
            unlink(path.c_str());
        }
        close(fd);
    }
    closedir(d);
}

}  // namespace

mode_t NewFileMode() {
    // The umask is read from /proc: setting it to read it back would race
    // with other threads creating files.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") == 0) {
            return static_cast<mode_t>(0666 & ~std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return 0644;
}

output_file::~output_file() {
    Abandon();
}

bool output_file::fail(const std::string& what, int err) {
    m_error = what + (err != 0 ? std::string(": ") + std::strerror(err) : "");
    return false;
}

bool output_file::Open(const char* target) {
    Abandon();
    m_error.clear();
    m_target = target != nullptr ? target : "";
    if (m_target.empty() || m_target.back() == '/') return fail("not a file name", 0);
    const std::string destination = resolve(m_target, m_inPlace);
    const split_path s = split(destination);
    int fd = -1;
    if (m_inPlace) {
        fd = open(destination.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return fail("cannot open", errno);
        m_path = destination;
    } else {
        m_destination = destination;
        remove_abandoned(s);
        struct stat st {};
        m_mode = lstat(destination.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_mode & 0777
                                                                             : NewFileMode();
        std::string name = s.dir + s.stem + "." + std::string(kRandomChars, 'X') + kPartSuffix;
        std::vector<char> buffer(name.begin(), name.end());
        buffer.push_back('\0');
        // No terminating signal between creating it and listing it for removal.
        const cleanup_signals_held held;
        // mkstemps: O_CREAT | O_EXCL, mode 0600; a link at the name makes it fail.
        fd = mkstemps(buffer.data(), static_cast<int>(std::strlen(kPartSuffix)));
        if (fd < 0) return fail("cannot create a temporary file in " + s.dir, errno);
        m_path = buffer.data();
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        flock(fd, LOCK_EX);  // a new file: nobody else holds it
        m_cleanup = AddCleanupFile(m_path.c_str());
    }
    m_stream = fdopen(fd, "wb");
    if (m_stream == nullptr) {
        const int err = errno;
        close(fd);
        Abandon();
        return fail("cannot open", err);
    }
    return true;
}

bool output_file::Commit() {
    if (m_stream == nullptr) return fail("nothing was opened", 0);
    const int fd = fileno(m_stream);
    int err = 0;
    if (std::fflush(m_stream) != 0) err = errno;
    if (err == 0 && !m_inPlace && (fchmod(fd, m_mode) != 0 || fsync(fd) != 0)) err = errno;
    // Renamed while still open and locked, so that no other writer takes it
    // for abandoned in between.
    if (err == 0 && !m_inPlace && std::rename(m_path.c_str(), m_destination.c_str()) != 0)
        err = errno;
    if (std::fclose(m_stream) != 0 && err == 0) err = errno;
    m_stream = nullptr;
    if (err != 0) {
        Abandon();
        return fail("cannot write", err);
    }
    RemoveCleanup(m_cleanup);
    m_cleanup = -1;
    m_path.clear();
    return true;
}

void output_file::Abandon() {
    if (m_stream != nullptr) std::fclose(m_stream);
    m_stream = nullptr;
    if (!m_inPlace && !m_path.empty()) unlink(m_path.c_str());
    RemoveCleanup(m_cleanup);
    m_cleanup = -1;
    m_path.clear();
}

}  // namespace tarvel
