// What a process removes when a signal ends it: temporary files, private
// temporary directories and the page files a build has made so far.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

namespace tarvel {

// An entry of the removal list; -1 when none could be added.
using cleanup_id = int;

// The removal list of this process.
//
// Entries are added and removed around the life of what they name: a file
// being written under a temporary name, a private temporary directory, a work
// directory while a build adds page files to it. RunCleanup removes what the
// entries name, with async-signal-safe calls only, so that a signal handler
// may call it; InstallCleanupOnSignals installs such handlers.
//
// Owns: a fixed table of kCleanupEntries entries with their paths (and the
// list of page files to keep for a build's entry). Adding fails (-1) when the
// table is full or the path is longer than kCleanupPathChars - 1 characters.
// Threads: Add and Remove may be called from any thread. RunCleanup from a
// signal handler interrupts only its own thread, so programs that add entries
// on several threads deliver the terminating signals to one of them.
constexpr int kCleanupEntries = 64;
constexpr int kCleanupPathChars = 4096;

// A file to unlink.
cleanup_id AddCleanupFile(const char* path);
// A directory: the files directly in it are unlinked, then the directory.
cleanup_id AddCleanupDirectory(const char* path);
// The page files ("~gm<hex>.tmp") of `directory` that are not among
// `existing` (bare names): those a build makes from now on.
cleanup_id AddCleanupNewPageFiles(const char* directory, const std::vector<std::string>& existing);
// Forgets an entry; what it named stays. -1 is ignored.
void RemoveCleanup(cleanup_id id);

// Removes what every entry names. Async-signal-safe.
void RunCleanup();
// Whether RunCleanup has begun. A file that another thread creates from then
// on could escape it, so creators of page files remove such a file themselves.
bool CleanupStarted();
// Brackets the creation of a file that a live entry would remove (a page file
// in a build's directory): RunCleanup lists directories only once no creation
// is under way, so the process never ends with such a file half made and
// unlisted. BeginFileCreation returns false, and nothing must be created, once
// the cleanup has begun; EndFileCreation follows every true return.
bool BeginFileCreation();
void EndFileCreation();

// Holds back SIGINT, SIGTERM and SIGHUP on the calling thread while it lives,
// for the moment between creating a file and adding it to the list; a
// signal that arrived meanwhile is delivered when it ends.
class cleanup_signals_held {
  public:
    cleanup_signals_held();
    ~cleanup_signals_held();
    cleanup_signals_held(const cleanup_signals_held&) = delete;
    cleanup_signals_held& operator=(const cleanup_signals_held&) = delete;

  private:
    sigset_t m_before;
};

// For SIGINT, SIGTERM and SIGHUP: runs RunCleanup, then lets the signal end
// the process as it would have without a handler (so the exit status still
// says which signal). Call once, early in main.
void InstallCleanupOnSignals();

}  // namespace tarvel
