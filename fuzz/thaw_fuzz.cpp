// Fuzz target: arbitrary directory files thawed next to a few page files, then read,
// remapped, frozen again and thawed again; nothing outside the directory may change.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/image.h"
#include "platform/platform.h"

namespace {

// Pages are Width bytes for the widest images; reading pixels of those would
// only measure the allocator, so pixels are read only up to this page size.
constexpr int kMaxReadPageSize = 16 << 20;
// What the file outside the image's directory holds; it must never change.
const std::string kSentinel = "outside the image directory";

struct workspace {
    std::string root;  // holds the sentinel and the image directory
    std::string dir;   // the image's temporary directory, without the final '/'
};

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

const workspace& setup() {
    static workspace w = [] {
        workspace made;
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        std::string pattern = std::string(base) + "thaw-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        made.root = pattern + "/";
        made.dir = made.root + "img";
        if (mkdir(made.dir.c_str(), 0700) != 0) std::abort();
        put(made.root + "outside", kSentinel);
        // The page store reports unreadable pages on standard output.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        return made;
    }();
    return w;
}

// Empties the image directory (consuming thaws and destroys delete files in it)
// and puts the page and palette files the seeds name back.
void reset(const workspace& w) {
    if (DIR* d = opendir(w.dir.c_str())) {
        std::vector<std::string> names;
        while (dirent* e = readdir(d)) names.push_back(e->d_name);
        closedir(d);
        for (const std::string& n : names) {
            if (n != "." && n != "..") unlink((w.dir + "/" + n).c_str());
        }
    }
    std::string page(2048, '\0');
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<char>(i * 7);
    put(w.dir + "/~gm1.tmp", page);
    put(w.dir + "/~gm2.tmp", page.substr(0, 100));
    put(w.dir + "/~gm3.tmp", "");
    put(w.dir + "/pal", page.substr(0, 768));
}

void read_some(tarvel::image& img) {
    if (img.GetPageSize() > kMaxReadPageSize) return;
    const int w = img.GetWidth() - 1;
    const int h = img.GetHeight() - 1;
    unsigned char px[2];
    int rgb[2];
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        img.GetRegion(0, 0, w > 0 ? 1 : 0, 0, c, px);
        img.GetRegion(w, h, w, h, c, px);
        tarvel::image::ipointer p(&img, c, w / 2, h / 2);
        volatile unsigned char v = *p;
        (void)v;
    }
    img.GetRegionRGB(0, h, 0, h, rgb);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const workspace& w = setup();
    reset(w);
    put(w.dir + "/dir.ini", std::string(reinterpret_cast<const char*>(data), size));
    const bool consume = size % 2 == 1;
    {
        tarvel::image img;
        img.SetTempPath(w.dir.c_str());
        if (img.Thaw("dir.ini", "S", consume)) {
            read_some(img);
            img.SetBrightnessContrast(60, 40);
            read_some(img);
            // Whatever thawed must freeze, and what froze must thaw, unless
            // consuming removed files that the hostile directory named twice.
            const bool frozen = img.Freeze("out.ini", "T", true);
            tarvel::image again;
            again.SetTempPath(w.dir.c_str());
            const bool thawed = again.Thaw("out.ini", "T", false);
            if (!consume && (!frozen || !thawed)) std::abort();
            if (thawed) read_some(again);
        }
    }
    if (get(w.root + "outside") != kSentinel) std::abort();
    return 0;
}
