// Page files of a work directory: listing them by inode, and deleting exactly
// the files that were listed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "image/file_names.h"

namespace tarvel {

// One regular file of a directory, identified by name and by inode, so that a
// file of the same name made later is never mistaken for it.
struct page_file {
    std::string name;
    dev_t device;
    ino_t inode;
};

// The regular files of `directory` (ending with '/') with page-file names.
std::vector<page_file> ListPageFiles(const std::string& directory);

// Deletes each listed file that is still the same file (same inode).
void RemovePageFiles(const std::string& directory, const std::vector<page_file>& files);

// Whether `directory` is the system temporary directory, whose page files may
// belong to other programs.
bool IsSystemTemporaryDirectory(const std::string& directory);

// The page and palette files that the layer sections of `directory`'s
// pyramid.ini name; none when it holds no complete pyramid (no "Name").
std::vector<std::string> NamedPageFiles(const std::string& directory);

// Deletes what killed, failed or overlapping runs left in a work directory:
// the page files its pyramid.ini does not name (every one when it holds no
// complete pyramid), replacements of pyramid.ini left by killed writers and
// the profile of a killed build.
// It runs only while no other builder is at work (the caller may hold the
// build lock: callerBuilds) and no reader holds the directory, taking both
// locks without waiting, and never in the system temporary directory; returns
// whether it ran. A pyramid.ini that exists but cannot be read keeps every
// page file. The work directory belongs to its pyramid: any other page file
// in it goes too.
bool SweepWorkDirectory(const std::string& directory, bool callerBuilds);

}  // namespace tarvel
