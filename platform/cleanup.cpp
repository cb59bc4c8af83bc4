// The removal list of a process and the signal handlers that run it.
#include "platform/cleanup.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace tarvel {

namespace {

enum class entry_kind { file, directory, new_page_files };

// States of an entry. A signal handler uses only live entries: their path and
// keep list are complete and stay unchanged until the entry leaves that state.
constexpr int kFree = 0;
constexpr int kFilling = 1;
constexpr int kLive = 2;

struct entry {
    std::atomic<int> state{kFree};
    entry_kind kind = entry_kind::file;
    char path[kCleanupPathChars] = {};
    const std::uint32_t* keep = nullptr;  // sorted numbers of the page files to keep
    std::size_t keepCount = 0;
};

entry g_entries[kCleanupEntries];
std::mutex g_addRemove;  // serialises Add and Remove, never taken by RunCleanup

// The number of a page-file name "~gm<1 to 8 hex digits>.tmp" (letters in
// either case); false for any other name. Async-signal-safe.
bool page_file_number(const char* name, std::uint32_t& number) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (name[0] != '~' || lower(name[1]) != 'g' || lower(name[2]) != 'm') return false;
    number = 0;
    int digits = 0;
    const char* p = name + 3;
    for (;; ++p, ++digits) {
        const char c = lower(*p);
        int value = -1;
        if (c >= '0' && c <= '9') value = c - '0';
        if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
        if (value < 0) break;
        if (digits == 8) return false;
        number = number * 16 + static_cast<std::uint32_t>(value);
    }
    return digits > 0 && p[0] == '.' && lower(p[1]) == 't' && lower(p[2]) == 'm' &&
           lower(p[3]) == 'p' && p[4] == '\0';
}

bool kept(const entry& e, std::uint32_t number) {
    std::size_t lo = 0, hi = e.keepCount;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (e.keep[mid] == number) return true;
        if (e.keep[mid] < number)
            lo = mid + 1;
        else
            hi = mid;
    }
    return false;
}

// The layout getdents64 fills.
struct linux_dirent {
    std::uint64_t ino;
    std::int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[1];
};

// Unlinks the entries of a directory that the entry's kind selects.
// Async-signal-safe: raw system calls and a buffer on the stack.
void empty_directory(const entry& e) {
    const int fd = open(e.path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    alignas(8) char buffer[4096];
    for (;;) {
        const long got = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            const auto* d = reinterpret_cast<const linux_dirent*>(buffer + at);
            at += d->reclen;
            const char* name = d->name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            std::uint32_t number = 0;
            if (e.kind == entry_kind::new_page_files &&
                (!page_file_number(name, number) || kept(e, number)))
                continue;
            unlinkat(fd, name, 0);
        }
    }
    close(fd);
    if (e.kind == entry_kind::directory) rmdir(e.path);
}

cleanup_id add(entry_kind kind, const char* path, std::vector<std::uint32_t> keep) {
    if (path == nullptr || std::strlen(path) >= static_cast<std::size_t>(kCleanupPathChars))
        return -1;
    std::lock_guard<std::mutex> guard(g_addRemove);
    for (int i = 0; i < kCleanupEntries; ++i) {
        entry& e = g_entries[i];
        if (e.state.load() != kFree) continue;
        e.state.store(kFilling);
        e.kind = kind;
        std::strcpy(e.path, path);
        std::sort(keep.begin(), keep.end());
        std::uint32_t* numbers = keep.empty() ? nullptr : new std::uint32_t[keep.size()];
        if (numbers != nullptr) std::copy(keep.begin(), keep.end(), numbers);
        e.keep = numbers;
        e.keepCount = keep.size();
        e.state.store(kLive);
        return i;
    }
    return -1;
}

extern "C" void on_signal(int sig) {
    RunCleanup();
    signal(sig, SIG_DFL);
    raise(sig);
}

}  // namespace

cleanup_id AddCleanupFile(const char* path) {
    return add(entry_kind::file, path, {});
}

cleanup_id AddCleanupDirectory(const char* path) {
    return add(entry_kind::directory, path, {});
}

cleanup_id AddCleanupNewPageFiles(const char* directory, const std::vector<std::string>& existing) {
    std::vector<std::uint32_t> keep;
    for (const std::string& name : existing) {
        std::uint32_t number = 0;
        if (page_file_number(name.c_str(), number)) keep.push_back(number);
    }
    return add(entry_kind::new_page_files, directory, std::move(keep));
}

void RemoveCleanup(cleanup_id id) {
    if (id < 0 || id >= kCleanupEntries) return;
    std::lock_guard<std::mutex> guard(g_addRemove);
    entry& e = g_entries[id];
    // Out of use first, so that a handler never reads the list being freed.
    e.state.store(kFilling);
    delete[] e.keep;
    e.keep = nullptr;
    e.keepCount = 0;
    e.state.store(kFree);
}

// Set before RunCleanup looks at any entry; see CleanupStarted.
std::atomic<bool> g_cleanupStarted{false};
// Files being created right now, on any thread; see BeginFileCreation.
std::atomic<int> g_filesBeingCreated{0};

bool CleanupStarted() {
    return g_cleanupStarted.load();
}

bool BeginFileCreation() {
    // With the cleanup's store of g_cleanupStarted and its load of the count,
    // both sequentially consistent: either the cleanup waits for this file,
    // or this creator sees that the cleanup began.
    g_filesBeingCreated.fetch_add(1);
    if (!g_cleanupStarted.load()) return true;
    g_filesBeingCreated.fetch_sub(1);
    return false;
}

void EndFileCreation() {
    g_filesBeingCreated.fetch_sub(1);
}

void RunCleanup() {
    g_cleanupStarted.store(true);
    // Let creations under way on other threads finish, so that their files
    // are on disk before the directories are listed. A creation interrupted
    // by this very handler never finishes: the wait is bounded (0.2 s).
    for (int i = 0; i < 2000 && g_filesBeingCreated.load() > 0; ++i) {
        const timespec pause{0, 100 * 1000};
        nanosleep(&pause, nullptr);
    }
    for (entry& e : g_entries) {
        if (e.state.load() != kLive) continue;
        if (e.kind == entry_kind::file)
            unlink(e.path);
        else
            empty_directory(e);
    }
}

cleanup_signals_held::cleanup_signals_held() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &m_before);
}

cleanup_signals_held::~cleanup_signals_held() {
    pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

void InstallCleanupOnSignals() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, sig);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

}  // namespace tarvel
