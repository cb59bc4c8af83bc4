// Fuzz target: any bytes handed to loadWindowsBMP. A refused file leaves the
// image as it was (or empty); an accepted one must survive a store and reload
// with every sample and palette entry unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagefile/imagefile.h"
#include "platform/platform.h"

namespace {

// Two files of this process in the temporary directory, removed at exit.
struct scratch_files {
    std::string in;
    std::string out;
    scratch_files() {
        char dir[kMaxPath];
        GetTempPathA(kMaxPath, dir);
        const std::string stem = std::string(dir) + "bmp_fuzz-" + std::to_string(getpid());
        in = stem + "-in.bmp";
        out = stem + "-out.bmp";
    }
    ~scratch_files() {
        std::remove(in.c_str());
        std::remove(out.c_str());
    }
};

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "bmp_fuzz: %s\n", what);
        std::abort();
    }
}

std::vector<unsigned char> samples(tarvel::image& img, int channel) {
    std::vector<unsigned char> all(static_cast<std::size_t>(img.GetWidth()) * img.GetHeight());
    img.GetRegion(0, 0, img.GetWidth() - 1, img.GetHeight() - 1, channel, all.data());
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static scratch_files files;
    if (std::FILE* f = std::fopen(files.in.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    tarvel::image img(3, 2, 2, 0);
    if (tarvel::loadWindowsBMP(img, files.in.c_str(), nullptr) != 0) {
        check(!img.IsValid() || (img.GetType() == 3 && img.GetWidth() == 2 && img.GetHeight() == 2),
              "a refused file changed the image");
        return 0;
    }
    check(img.IsValid() && (img.GetType() == 2 || img.GetType() == 3), "loaded image kind");
    check(static_cast<std::uint64_t>(img.GetWidth()) * img.GetHeight() <= size,
          "image larger than its file");
    check(tarvel::storeWindowsBMP(img, files.out.c_str(), nullptr) == 0, "store failed");
    tarvel::image back;
    check(tarvel::loadWindowsBMP(back, files.out.c_str(), nullptr) == 0, "reload failed");
    check(back.GetType() == img.GetType() && back.GetWidth() == img.GetWidth() &&
              back.GetHeight() == img.GetHeight(),
          "reload changed the size or kind");
    if (img.GetType() == 2) {
        check(std::memcmp(img.GetPalette(), back.GetPalette(), tarvel::kPaletteBytes) == 0,
              "palette changed");
    }
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        check(samples(img, c) == samples(back, c), "samples changed");
    }
    return 0;
}
