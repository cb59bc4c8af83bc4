// Scratch directories, the sample pattern and file reading for the image tests.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

void fill(tarvel::image& img) {
    const int n = img.GetWidth() * img.GetHeight();
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        tarvel::image::pointer p(&img, c, 0);
        for (int i = 0; i < n; ++i, ++p) *p = sample(c, i);
    }
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tarvel_test
