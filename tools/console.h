// Small helpers the commands share: process measurements, private temporary
// directories and failure messages.
#pragma once

#include <string>

#include "platform/cleanup.h"

namespace tarvel_cli {

// Peak resident memory of this process so far, in bytes.
long long peak_resident_bytes();

// A run's own temporary directory for its page files:
// "<base>/tarvel-<stem>-XXXXXX", mode 0700. It is locked (flock) and on the
// process's removal list (platform/cleanup.h) for as long as the object
// lives, so that SIGINT or SIGTERM empties it; the destructor removes it with
// its files. Create first removes the directories of the same stem that runs
// killed outright left behind: those whose lock nobody holds.
class private_temp_dir {
  public:
    private_temp_dir() = default;
    ~private_temp_dir();
    private_temp_dir(const private_temp_dir&) = delete;
    private_temp_dir& operator=(const private_temp_dir&) = delete;

    // base: the directory to make it in; empty for the system temporary
    // directory. False with the directory and the reason in error.
    bool Create(const char* stem, const std::string& base, std::string& error);
    // The directory, without a final '/'.
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
    int m_lock = -1;
    tarvel::cleanup_id m_cleanup = -1;
};

// Prints "tarvel <command>: <message>" ("tarvel: <message>" without a
// command) as one line on standard error. When
// the page store printed one of its messages (they go to standard output, the
// read messages without a final line break), standard output's line is ended
// first, so that the two never run into one line.
void report_failure(const char* command, const std::string& message, bool pageMessages);

// Ends standard output's line after the page store's messages (the read
// messages have no final line break), so that the next line starts afresh.
void end_page_message_line();

}  // namespace tarvel_cli
