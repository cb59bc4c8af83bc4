// Scratch directories for tests.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/platform.h"
#include "test_access.h"

namespace tarvel_test {

scratch_dir::scratch_dir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string pattern = std::string(base) + "tarvel-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    m_path = pattern + "/";
}

scratch_dir::~scratch_dir() {
    for (const std::string& name : files()) unlink((m_path + name).c_str());
    rmdir(m_path.c_str());
}

std::vector<std::string> scratch_dir::files() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(m_path.c_str())) {
        while (dirent* entry = readdir(d)) {
            struct stat st {};
            if (stat((m_path + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                names.push_back(entry->d_name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tarvel_test
