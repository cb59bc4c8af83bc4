// The part list's swap file: an unlinked temporary file of reusable slots.
#include "host/swap_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/platform.h"

namespace img {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

IOverlaidEntity::IEntityPartList::SwapFile::SwapFile() : m_fd(-1) {
    char dir[kMaxPath];
    char path[kMaxPath];
    const DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) {
        errno = ENAMETOOLONG;
        fail("part list swap file: temporary directory");
    }
    if (GetTempFileNameA(dir, "~gm", 0, path) == 0) fail("part list swap file: create");
    m_fd = open(path, O_RDWR | O_CLOEXEC);
    const int saved = errno;
    DeleteFileA(path);  // the descriptor keeps the file alive until the list goes
    if (m_fd < 0) {
        errno = saved;
        fail("part list swap file: open");
    }
}

IOverlaidEntity::IEntityPartList::SwapFile::~SwapFile() {
    if (m_fd >= 0) close(m_fd);
}

long long IOverlaidEntity::IEntityPartList::SwapFile::reserve(unsigned size) {
    const auto found = m_free.find(size);
    if (found != m_free.end() && !found->second.empty()) {
        const long long offset = found->second.back();
        found->second.pop_back();
        return offset;
    }
    const long long offset = m_end;
    m_end += size;
    return offset;
}

void IOverlaidEntity::IEntityPartList::SwapFile::release(long long offset, unsigned size) {
    m_free[size].push_back(offset);
}

void IOverlaidEntity::IEntityPartList::SwapFile::write(long long offset, const void* bytes,
                                                       unsigned size) {
    const char* p = static_cast<const char*>(bytes);
    for (unsigned done = 0; done < size;) {
        const ssize_t n = pwrite(m_fd, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            fail("part list swap file: write");
        }
        done += static_cast<unsigned>(n);
    }
}

void IOverlaidEntity::IEntityPartList::SwapFile::read(long long offset, void* bytes,
                                                      unsigned size) {
    char* p = static_cast<char*>(bytes);
    for (unsigned done = 0; done < size;) {
        const ssize_t n = pread(m_fd, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;  // the slot was never written in full
            fail("part list swap file: read");
        }
        done += static_cast<unsigned>(n);
    }
}

}  // namespace img
