// The page record: pins, buffer handover and the page file (load, save, naming, deletion).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "image/file_names.h"
#include "image/image.h"
#include "platform/platform.h"

namespace tarvel {

namespace {

// Page files mapped by the whole process, and how many may be: half the
// kernel's limit on memory maps (vm.max_map_count), so that allocations,
// which map memory too, never run out of maps.
std::atomic<int> g_mappedPages{0};

int mapping_allowance() {
    static const int allowance = [] {
        long limit = 65530;  // the kernel's default
        if (std::FILE* f = std::fopen("/proc/sys/vm/max_map_count", "r")) {
            if (std::fscanf(f, "%ld", &limit) != 1) limit = 65530;
            std::fclose(f);
        }
        return static_cast<int>(std::min(limit / 2, 1L << 30));
    }();
    return allowance;
}

}  // namespace

image::scan_page::scan_page() : scan_page(nullptr, 0, 0, 0) {}

image::scan_page::scan_page(image* owner, int channel, int index, int firstLine)
    : m_owner(owner),
      m_index(index),
      m_channel(channel),
      m_firstLine(firstLine),
      m_offset(owner != nullptr ? owner->m_pageSize * index : 0),
      m_data(nullptr),
      m_end(nullptr),
      m_dirty(false),
      m_writeLockCount(0),
      m_lockCount(0),
      m_newer(nullptr),
      m_older(nullptr) {
    m_name[0] = '\0';
}

image::scan_page::~scan_page() {
    releaseData();
    if (m_name[0] != '\0' && m_owner != nullptr && !m_owner->m_persistent) {
        char path[kPathChars];
        DeleteFileA(m_owner->getFullFileName(path, m_name));
    }
}

void image::scan_page::lock() {
    m_dirty = true;
    ++m_lockCount;
    ++m_writeLockCount;
}

void image::scan_page::unlock() {
    --m_lockCount;
    --m_writeLockCount;
}

void image::scan_page::lock_read() {
    ++m_lockCount;
}

void image::scan_page::unlock_read() {
    --m_lockCount;
}

void image::scan_page::releaseData() {
    if (m_mapped) {
        munmap(m_data, static_cast<std::size_t>(m_owner->m_pageSize));
        --g_mappedPages;
    } else {
        delete[] m_data;
    }
    m_data = m_end = nullptr;
    m_mapped = false;
}

void image::scan_page::attach(unsigned char* buffer) {
    releaseData();
    m_data = buffer;
    m_end = buffer != nullptr ? buffer + m_owner->m_pageSize - 1 : nullptr;
}

unsigned char* image::scan_page::detach() {
    if (m_mapped) {
        releaseData();
        return nullptr;
    }
    unsigned char* buffer = m_data;
    m_data = m_end = nullptr;
    return buffer;
}

void image::scan_page::close(bool release) {
    if (release) releaseData();
}

namespace {

// Why a page file could not be used: the system's reason, or what was wrong.
std::string reason(int err) {
    return err != 0 ? std::strerror(err) : "not a regular file";
}

// Opens a page file without following a symbolic link or blocking on a FIFO;
// -1 (errno set, 0 for a file that is not regular) on failure.
int open_page_file(const char* path, int flags) {
    const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = 0;
        return -1;
    }
    return fd;
}

}  // namespace

bool image::scan_page::map() {
    if (m_name[0] == '\0') return false;
    if (g_mappedPages.fetch_add(1) >= mapping_allowance()) {
        --g_mappedPages;
        return false;
    }
    char path[kPathChars];
    m_owner->getFullFileName(path, m_name);
    const int fd = open_page_file(path, O_RDONLY);
    if (fd < 0) {
        --g_mappedPages;
        return false;
    }
    const std::size_t size = static_cast<std::size_t>(m_owner->m_pageSize);
    struct stat st {};
    void* mapped = MAP_FAILED;
    // Only a whole page: bytes of a mapping beyond the end of its file fault.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == static_cast<off_t>(size))
        mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) {
        --g_mappedPages;
        return false;
    }
    releaseData();
    m_data = static_cast<unsigned char*>(mapped);
    m_end = m_data + size - 1;
    m_mapped = true;
    m_dirty = m_writeLockCount != 0;
    return true;
}

char* image::scan_page::getFullName(char* out) {
    if (m_name[0] != '\0') return m_owner->getFullFileName(out, m_name);
    out[0] = '\0';
    // Without a temporary directory (the system's was too long) a name would
    // land in the current directory.
    if (m_owner->m_tempPath[0] == '\0') return out;
    // A name is recorded only when the file was really created; otherwise the
    // path that was tried stays in out for the error message.
    if (GetTempFileNameA(m_owner->m_tempPath, kPageFilePrefix, 0, out) != 0) {
        std::snprintf(m_name, sizeof m_name, "%s", m_owner->getFileName(out));
    }
    return out;
}

bool image::scan_page::load() {
    const int size = m_owner->m_pageSize;
    if (m_name[0] == '\0') {
        std::memset(m_data, 0, size);
        m_dirty = true;
        return true;
    }
    char path[kPathChars];
    m_owner->getFullFileName(path, m_name);
    const int fd = open_page_file(path, O_RDONLY);
    if (fd < 0) {
        const int err = errno;
        std::printf("\nError opening file %s", path);
        std::fflush(stdout);
        std::memset(m_data, 0, size);
        m_owner->notePageError(false, path, reason(err));
        return false;
    }
    std::size_t got = 0;
    int err = 0;
    while (got < static_cast<std::size_t>(size)) {
        const ssize_t n = read(fd, m_data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : 0;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != static_cast<std::size_t>(size)) {
        std::printf("\nError reading file %s", path);
        std::fflush(stdout);
        std::memset(m_data + got, 0, size - got);
        m_owner->notePageError(false, path,
                               err != 0 ? std::strerror(err)
                                        : "it holds " + std::to_string(got) + " of the " +
                                              std::to_string(size) + " bytes of a page");
    }
    m_dirty = m_writeLockCount != 0;
    return true;
}

bool image::scan_page::save() {
    if (!m_dirty) return true;
    char path[kPathChars];
    errno = 0;
    getFullName(path);
    const int fd = m_name[0] != '\0' ? open_page_file(path, O_WRONLY) : -1;
    if (fd < 0) {
        const int err = errno;
        std::printf("Error opening file %s\n", path);
        std::fflush(stdout);
        std::string why = reason(err);
        if (m_owner->m_tempPath[0] == '\0')
            why = "no temporary directory (the system's is too long)";
        else if (m_name[0] == '\0' && err == 0)
            why = "no page file could be created";
        m_owner->notePageError(true, path, why);
        return false;
    }
    const std::size_t size = static_cast<std::size_t>(m_owner->m_pageSize);
    std::size_t done = 0;
    int err = 0;
    while (done < size) {
        const ssize_t n = write(fd, m_data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && err == 0 && done == size) err = errno;
    if (err != 0) {
        std::printf("Error writing file %s\n", path);
        std::fflush(stdout);
        m_owner->notePageError(true, path, std::strerror(err));
        return false;
    }
    m_dirty = m_writeLockCount != 0;
    return true;
}

}  // namespace tarvel
