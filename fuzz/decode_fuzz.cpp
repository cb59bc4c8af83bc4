// Fuzz target: the decoding constructor of the host bitmap over arbitrary file
// contents, handed to it as a file through an in-memory file descriptor.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "host/bitmap.h"

namespace {

// Small enough that a hostile header cannot take the fuzzer's memory, large
// enough for every picture a small input can really hold.
constexpr std::size_t kFuzzDecodeLimit = 64u << 20;

const std::string& input_path() {
    static const std::string path = [] {
        KORBAS::CBitmapWindows::SetDecodeLimit(kFuzzDecodeLimit);
        const int fd = memfd_create("decode_fuzz", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = input_path();
    const int fd = std::stoi(path.substr(path.rfind('/') + 1));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    try {
        KORBAS::CBitmapWindows dib(nullptr, path.c_str(), true);
        // Read every row the accessors present, so that a wrong size shows.
        unsigned sum = 0;
        const unsigned char* row = dib.getBeginImage();
        const std::size_t rowBytes = (std::size_t(dib.getWidth()) * dib.getBPP() + 7) / 8;
        for (unsigned y = 0; y < dib.getHeight(); ++y, row += dib.getScanLineOffset())
            for (std::size_t i = 0; i < rowBytes; ++i) sum += row[i];
        const unsigned colours = dib.getColorCount();
        for (unsigned i = 0; i < colours; ++i) sum += dib.getColorTable()[i].rgbRed;
        volatile unsigned sink = sum;
        (void)sink;
    } catch (const KORBAS::CImageDecodeException&) {
    }
    return 0;
}
