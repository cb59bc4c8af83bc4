// Page files of a work directory: recognising their names, listing them, and
// deleting exactly the files that were listed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarvel {

// Whether a bare file name is one the page store gives its page and palette
// files: "~gm", one or more hexadecimal digits, ".tmp" (letters in either
// case, as Windows names them too), at most 15 characters.
bool IsPageFileName(const std::string& name);

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
