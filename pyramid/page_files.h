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

}  // namespace tarvel
