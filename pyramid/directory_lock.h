// Locks that coordinate the processes building and reading one work
// directory: advisory locks (flock) on two lock files inside it.
#pragma once

#include <string>

namespace tarvel {

// The lock files of a work directory. They stay empty; only their locks matter.
constexpr const char* kBuildLockFile = "pyramid.build.lock";
constexpr const char* kReadLockFile = "pyramid.read.lock";

// How a failed build lock ends its message (GetError) when another build holds it.
constexpr const char* kBuildInProgress = "another build is in progress there";

// One lock on a work directory.
//
// build: one builder at a time; held for a whole build. read: shared by every
// open pyramid of the directory for as long as it is open. readers_out: the
// read lock taken exclusively, by whoever deletes page files, so that no page
// file is deleted while a reader may still read it; builders take it without
// waiting and leave the files for a later sweep when a reader is there.
// Locks are per object: two objects of one process exclude each other as two
// processes do.
//
// Owns: one open descriptor of the lock file while held (close-on-exec,
// opened without following a symbolic link; created mode 0644 when missing).
// Failure: Lock returns false, holds nothing and says why in GetError. A
// reader in a directory where the lock file neither exists nor can be created
// (read-only media, nobody builds there) gets true without a lock.
// Threads: one thread at a time per object.
class directory_lock {
  public:
    enum class kind { build, read, readers_out };

    directory_lock() = default;
    ~directory_lock() { Release(); }
    directory_lock(const directory_lock&) = delete;
    directory_lock& operator=(const directory_lock&) = delete;
    directory_lock(directory_lock&& other) noexcept;
    directory_lock& operator=(directory_lock&& other) noexcept;

    // `dir` ends with '/'. With wait, blocks until the lock is free;
    // otherwise fails at once when someone else holds it.
    bool Lock(const std::string& dir, kind what, bool wait);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }
    const std::string& GetError() const { return m_error; }

  private:
    int m_fd = -1;
    std::string m_error;
};

}  // namespace tarvel
