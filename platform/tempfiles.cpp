// Temporary directory, unique "~gm" files, file deletion and directory creation on POSIX.
#include "platform/platform.h"

#include "platform/cleanup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    size_t len = std::strlen(dir);
    const bool needSlash = dir[len - 1] != '/';
    const size_t total = len + (needSlash ? 1 : 0);
    if (lpBuffer == nullptr || total + 1 > nBufferLength) return static_cast<DWORD>(total + 1);
    std::memcpy(lpBuffer, dir, len);
    if (needSlash) lpBuffer[len++] = '/';
    lpBuffer[len] = '\0';
    return static_cast<DWORD>(len);
}

namespace {

// Attempts before giving up on a directory: collisions are rare, so running out
// means the directory is not writable rather than full of our names.
constexpr int kMaxTempFileAttempts = 64;

// One generator per thread: threads creating page files at once share nothing.
unsigned nextCandidate() {
    thread_local std::mt19937 generator{std::random_device{}() ^ static_cast<unsigned>(getpid())};
    unsigned value = 0;
    while (value == 0) value = static_cast<unsigned>(generator());
    return value;
}

}  // namespace

UINT GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                      LPSTR lpTempFileName) {
    if (lpTempFileName == nullptr) return 0;
    lpTempFileName[0] = '\0';
    if (lpPathName == nullptr) return 0;
    const char* prefix = lpPrefixString ? lpPrefixString : "";
    const size_t dirLen = std::strlen(lpPathName);
    const bool needSlash =
        dirLen > 0 && lpPathName[dirLen - 1] != '/' && lpPathName[dirLen - 1] != '\\';
    for (int attempt = 0; attempt < kMaxTempFileAttempts; ++attempt) {
        const unsigned number = uUnique != 0 ? uUnique : nextCandidate();
        // Windows takes at most three characters of the prefix.
        int n = std::snprintf(lpTempFileName, kMaxPath, "%s%s%.3s%x.tmp", lpPathName,
                              needSlash ? "/" : "", prefix, number);
        if (n < 0 || n >= kMaxPath) {
            lpTempFileName[0] = '\0';
            return 0;
        }
        if (uUnique != 0) return uUnique;  // Windows: name only, no file created
        if (!tarvel::BeginFileCreation()) {
            lpTempFileName[0] = '\0';
            return 0;
        }
        const int fd = open(lpTempFileName, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        tarvel::EndFileCreation();
        if (fd >= 0) {
            close(fd);
            // A terminating signal's cleanup may already have listed this
            // directory on another thread: the file would outlive the process.
            if (tarvel::CleanupStarted()) {
                unlink(lpTempFileName);
                lpTempFileName[0] = '\0';
                return 0;
            }
            return number;
        }
        if (errno != EEXIST) return 0;
    }
    return 0;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
    return lpFileName != nullptr && unlink(lpFileName) == 0 ? true : false;
}

int _mkdir(const char* path) {
    return path != nullptr && mkdir(path, 0777) == 0 ? 0 : -1;
}
