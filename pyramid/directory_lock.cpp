// Locks of a work directory: flock on its lock files.
#include "pyramid/directory_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tarvel {

namespace {

// Opens (creating when missing) a lock file without following a symbolic
// link or blocking on a FIFO; -1 with errno set (0: not a regular file).
int open_lock_file(const std::string& path) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = open(path.c_str(), flags | O_CREAT, 0644);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = open(path.c_str(), flags);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = 0;
        return -1;
    }
    return fd;
}

}  // namespace

bool directory_lock::Lock(const std::string& dir, kind what, bool wait) {
    Release();
    m_error.clear();
    const std::string path = dir + (what == kind::build ? kBuildLockFile : kReadLockFile);
    const int fd = open_lock_file(path);
    if (fd < 0) {
        const int err = errno;
        if (what == kind::read && err == ENOENT) return true;  // nobody can build here
        m_error =
            "cannot open " + path + ": " + (err != 0 ? std::strerror(err) : "not a regular file");
        return false;
    }
    const int operation = (what == kind::read ? LOCK_SH : LOCK_EX) | (wait ? 0 : LOCK_NB);
    int result;
    do {
        result = flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int err = errno;
        close(fd);
        if (err == EWOULDBLOCK) {
            m_error = dir + ": " +
                      (what == kind::build ? kBuildInProgress : "a reader holds the pyramid there");
        } else {
            m_error = "cannot lock " + path + ": " + std::strerror(err);
        }
        return false;
    }
    m_fd = fd;
    return true;
}

directory_lock::directory_lock(directory_lock&& other) noexcept
    : m_fd(other.m_fd), m_error(std::move(other.m_error)) {
    other.m_fd = -1;
}

directory_lock& directory_lock::operator=(directory_lock&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        m_error = std::move(other.m_error);
        other.m_fd = -1;
    }
    return *this;
}

void directory_lock::Release() {
    if (m_fd >= 0) close(m_fd);  // closing the last descriptor releases the lock
    m_fd = -1;
}

}  // namespace tarvel
