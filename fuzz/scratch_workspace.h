// A scratch directory shared by the fuzz targets that work on files: made once
// per process under the system temporary directory, removed when it ends.
#pragma once

#include <map>
#include <string>

namespace fuzz {

// Writes bytes to path, replacing what was there; failures are ignored.
void put(const std::string& path, const std::string& bytes);

// What path holds, or an empty string when it cannot be read.
std::string get(const std::string& path);

// Makes "<temp>/<prefix>-XXXXXX/" once and returns it with its final '/';
// the whole tree goes when the process exits. Standard output is sent to
// /dev/null, since the page store reports unreadable pages there.
const std::string& scratch_root(const char* prefix);

// The scratch root and one directory inside it, where the target works.
struct workspace {
    std::string root;  // scratch_root(prefix), ending with '/'
    std::string dir;   // root + name, without a final '/'
};

// Makes the workspace once per process and puts the file outside_name, holding
// outside_bytes, in its root: a file the target must never change.
const workspace& scratch_workspace(const char* prefix, const char* name, const char* outside_name,
                                   const std::string& outside_bytes);

// 2048 bytes of a fixed pattern, the content of the page files seeds name.
const std::string& page_pattern();

// The directory's files by name with their bytes, without the lock files
// through which pyramid builders and readers coordinate (made on first use).
std::map<std::string, std::string> snapshot(const std::string& dir);

// Deletes every entry of the directory (not recursively).
void empty_directory(const std::string& dir);

}  // namespace fuzz
