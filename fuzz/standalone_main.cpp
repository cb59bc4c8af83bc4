// Replays saved inputs through a fuzz target without libFuzzer: every file named
// on the command line, or found directly inside a directory named there.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0;
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        struct stat st {};
        if (stat(argv[i], &st) != 0) continue;  // a target without saved inputs yet
        if (!S_ISDIR(st.st_mode)) {
            failures += replay(argv[i]);
            ++replayed;
            continue;
        }
        if (DIR* d = opendir(argv[i])) {
            while (dirent* entry = readdir(d)) {
                const std::string path = std::string(argv[i]) + "/" + entry->d_name;
                if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                    failures += replay(path);
                    ++replayed;
                }
            }
            closedir(d);
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return failures == 0 ? 0 : 1;
}
