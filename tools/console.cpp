// Process measurements and temporary directories for the commands.
#include "tools/console.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/platform.h"

namespace tarvel_cli {

long long peak_resident_bytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<long long>(usage.ru_maxrss) * 1024;  // Linux reports KiB
}

std::string make_temp_directory(const char* stem) {
    char base[kMaxPath];
    GetTempPathA(kMaxPath, base);
    std::string pattern = std::string(base) + stem + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) return {};
    return std::string(buffer.data()) + "/";
}

void remove_directory(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") unlink((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

}  // namespace tarvel_cli
