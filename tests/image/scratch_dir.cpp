// Scratch directories, the sample pattern and file reading for the image tests.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/platform.h"
#include "test_access.h"

namespace tarvel_test {

scratch_dir::scratch_dir() {
    char base[kMaxPath];
    GetTempPathA(kMaxPath, base);
    std::string pattern = std::string(base) + "tarvel-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    m_path = pattern + "/";
}

scratch_dir::~scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> scratch_dir::files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path))
        if (entry.is_regular_file()) names.push_back(entry.path().filename());
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
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tarvel_test
