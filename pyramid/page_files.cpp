// Page files of a work directory: listing by inode and exact deletion.
#include "pyramid/page_files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/image.h"
#include "platform/platform.h"

namespace tarvel {

std::vector<page_file> ListPageFiles(const std::string& directory) {
    std::vector<page_file> files;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return files;
    while (const dirent* entry = readdir(dir)) {
        if (!IsPageFileName(entry->d_name)) continue;
        struct stat st {};
        if (lstat((directory + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            files.push_back(page_file{entry->d_name, st.st_dev, st.st_ino});
        }
    }
    closedir(dir);
    return files;
}

void RemovePageFiles(const std::string& directory, const std::vector<page_file>& files) {
    for (const page_file& f : files) {
        const std::string path = directory + f.name;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && st.st_dev == f.device && st.st_ino == f.inode) {
            DeleteFileA(path.c_str());
        }
    }
}

bool IsSystemTemporaryDirectory(const std::string& directory) {
    char temp[kMaxPath];
    if (GetTempPathA(kMaxPath, temp) == 0) return false;
    struct stat a {};
    struct stat b {};
    return stat(temp, &a) == 0 && stat(directory.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace tarvel
