// Opening the input of a command that reads through the pyramid's host image:
// a stored pyramid directory, or a picture whose pyramid is built when missing.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/host.h"
#include "pyramid/directory_lock.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {
namespace {

// Removes a directory made for a build that failed. The build leaves only its
// lock files there; anything else (another process's files) keeps it.
void remove_failed_build_dir(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    bool onlyLocks = true;
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != tarvel::kBuildLockFile &&
            name != tarvel::kReadLockFile)
            onlyLocks = false;
    }
    closedir(d);
    if (!onlyLocks) return;
    unlink((dir + "/" + tarvel::kBuildLockFile).c_str());
    unlink((dir + "/" + tarvel::kReadLockFile).c_str());
    rmdir(dir.c_str());
}

}  // namespace

std::unique_ptr<tarvel::CImagePyramid> open_pyramid(const std::string& input,
                                                    const std::string& pyramidDir,
                                                    bool expandPalette, std::string& error) {
    struct stat st {};
    if (stat(input.c_str(), &st) != 0) {
        error = input + ": " + std::strerror(errno);
        return nullptr;
    }
    const bool directory = S_ISDIR(st.st_mode);
    const std::string dir = directory            ? input
                            : pyramidDir.empty() ? input + ".pyramid"
                                                 : pyramidDir;
    const bool dirExisted = stat(dir.c_str(), &st) == 0;
    build_progress progress;
    std::unique_ptr<tarvel::CImagePyramid> adapter(tarvel::CImagePyramid::Open(
        directory ? nullptr : input.c_str(), dir.c_str(), &progress, error, expandPalette));
    if (!adapter) {
        progress.Abandon();
        // A failed build cleans up its files; the directory made for it goes too.
        if (!dirExisted) remove_failed_build_dir(dir);
        if (directory) error += " (build one with tarvel pyramid SOURCE " + dir + ")";
        return nullptr;
    }
    progress.Finish();
    const std::string& name = adapter->getPyramid().GetName();
    if (!directory && !same_source(name, input)) {
        error = dir + " holds the pyramid of another source, " + name +
                "; choose another directory for the pyramid of " + input;
        return nullptr;
    }
    return adapter;
}

}  // namespace tarvel_cli
