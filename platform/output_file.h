// Output files written under a temporary name beside their target and renamed
// onto it only once complete.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "platform/cleanup.h"

namespace tarvel {

// One output file being written.
//
// Open creates "<target>.<6 characters>.part" in the target's directory with
// O_EXCL (mkstemps), mode 0600, holds an flock on it while it lives and puts it
// on the process's removal list (platform/cleanup.h), so that a signal
// removes it and a later Open of the same target can tell a temporary left by
// a killed writer (unlocked) from one in use, and removes the former. Commit
// flushes and syncs it, gives it the mode a new file gets (or the mode of the
// regular file it replaces) and renames it onto the target. A symbolic link at
// the target is replaced, never followed, unless it lies in a directory that
// only its owner (this user or root) may change, such as /dev/stdout: then the
// file it leads to is written. A target that is a character device or a FIFO
// is written in place.
//
// Owns: the temporary file and its stream until Commit or Abandon; the
// destructor abandons an uncommitted file. Failure: Open and Commit return
// false with the reason in GetError (the caller names the target); after a
// failed Commit the temporary is gone and the target is as it was.
// Threads: one at a time.
class output_file {
  public:
    output_file() = default;
    ~output_file();
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;

    bool Open(const char* target);
    // The buffered stream to write through; null before Open.
    std::FILE* GetStream() const { return m_stream; }
    bool Commit();
    // Closes and removes the temporary; the target stays as it was.
    void Abandon();

    const std::string& GetError() const { return m_error; }
    // The path being written: the temporary, or the target written in place.
    const std::string& GetPath() const { return m_path; }

  private:
    bool fail(const std::string& what, int err);

    std::string m_target;
    std::string m_destination;  // the target, or the file a trusted link leads to
    std::string m_path;
    std::FILE* m_stream = nullptr;
    bool m_inPlace = false;
    mode_t m_mode = 0;
    cleanup_id m_cleanup = -1;
    std::string m_error;
};

// The permission bits open(path, O_CREAT, 0666) gives a new file: 0666 less
// the process's umask.
mode_t NewFileMode();

}  // namespace tarvel
