// Page files of a work directory: listing by inode and exact deletion.
#include "pyramid/page_files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "image/directory.h"
#include "image/file_names.h"
#include "image/image.h"
#include "platform/platform.h"
#include "pyramid/directory_lock.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"

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
    char temp[kPathChars];
    const DWORD n = GetTempPathA(kPathChars, temp);
    if (n == 0 || n >= static_cast<DWORD>(kPathChars)) return false;
    struct stat a {};
    struct stat b {};
    return stat(temp, &a) == 0 && stat(directory.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace tarvel

namespace tarvel {

std::vector<std::string> NamedPageFiles(const std::string& directory) {
    std::vector<std::string> names;
    const std::string ini = directory + kPyramidFile;
    char name[kPyramidNameChars];
    GetPrivateProfileStringA(kPyramidSection, kPyramidNameKey, "", name, sizeof name, ini.c_str());
    if (name[0] == '\0') return names;
    int count = 0;
    ReadProfileInt(kPyramidSection, kPyramidLayerCountKey, 0, ini.c_str(), count);
    // A section's keys, each ending with a NUL, the list with two.
    std::vector<char> keys(static_cast<std::size_t>(kMaxProfileFileBytes) + 2);
    for (int k = 0; k < count && k < kPyramidMaxLayers; ++k) {
        const std::string section = LayerSection(k);
        GetPrivateProfileStringA(section.c_str(), nullptr, "", keys.data(),
                                 static_cast<DWORD>(keys.size()), ini.c_str());
        for (const char* key = keys.data(); *key != '\0'; key += std::strlen(key) + 1) {
            char value[kPageValueChars];
            GetPrivateProfileStringA(section.c_str(), key, "", value, sizeof value, ini.c_str());
            if (IsPageFileName(value)) names.push_back(value);
        }
    }
    return names;
}

bool SweepWorkDirectory(const std::string& directory, bool callerBuilds) {
    if (IsSystemTemporaryDirectory(directory)) return false;
    directory_lock builders;
    directory_lock readers;
    if ((!callerBuilds && !builders.Lock(directory, directory_lock::kind::build, false)) ||
        !readers.Lock(directory, directory_lock::kind::readers_out, false)) {
        return false;
    }
    // A pyramid.ini that exists but cannot be read says nothing about which
    // files are needed: then no page file goes.
    const std::string ini = directory + kPyramidFile;
    struct stat st {};
    const bool readable = stat(ini.c_str(), &st) != 0
                              ? errno == ENOENT
                              : S_ISREG(st.st_mode) && st.st_size <= kMaxProfileFileBytes &&
                                    access(ini.c_str(), R_OK) == 0;
    DeleteProfileTemporariesA(ini.c_str());
    DeleteFileA((directory + kPyramidBuildFile).c_str());  // a killed build's profile
    if (!readable) return true;
    const std::vector<std::string> named = NamedPageFiles(directory);
    const std::set<std::string> keep(named.begin(), named.end());
    std::vector<page_file> orphans;
    for (page_file& f : ListPageFiles(directory)) {
        if (keep.count(f.name) == 0) orphans.push_back(std::move(f));
    }
    RemovePageFiles(directory, orphans);
    return true;
}

}  // namespace tarvel
