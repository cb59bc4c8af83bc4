#include "scratch_workspace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"

namespace fuzz {

void put(const std::string& path, const std::string& bytes) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

std::string get(const std::string& path) {
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[256];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

const std::string& scratch_root(const char* prefix) {
    // Kept on the heap so that the exit handler still finds it after static
    // destructors have run.
    static const std::string* root = [prefix] {
        char base[kMaxPath];
        GetTempPathA(kMaxPath, base);
        std::string pattern = std::string(base) + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        auto* made = new std::string(pattern + "/");
        std::atexit([] { std::system(("rm -rf '" + *root + "'").c_str()); });
        return made;
    }();
    return *root;
}

const workspace& scratch_workspace(const char* prefix, const char* name, const char* outside_name,
                                   const std::string& outside_bytes) {
    static const workspace w = [&] {
        workspace made;
        made.root = scratch_root(prefix);
        made.dir = made.root + name;
        if (mkdir(made.dir.c_str(), 0700) != 0) std::abort();
        put(made.root + outside_name, outside_bytes);
        return made;
    }();
    return w;
}

const std::string& page_pattern() {
    static const std::string page = [] {
        std::string made(2048, '\0');
        for (std::size_t i = 0; i < made.size(); ++i) made[i] = static_cast<char>(i * 7);
        return made;
    }();
    return page;
}

std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return files;
    while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != ".." && n.find(".lock") == std::string::npos)
            files[n] = get(dir + "/" + n);
    }
    closedir(d);
    return files;
}

void empty_directory(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) names.push_back(e->d_name);
    closedir(d);
    for (const std::string& n : names) {
        if (n != "." && n != "..") unlink((dir + "/" + n).c_str());
    }
}

}  // namespace fuzz
