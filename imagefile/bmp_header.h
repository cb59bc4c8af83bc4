// The 54 header bytes of a BMP file, read and written field by field, and the
// checks that tie a header to the size of the file that carries it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace tarvel {

constexpr std::uint16_t kBmpMagic = 0x4d42;       // "BM" read as a little-endian word
constexpr std::uint32_t kBmpPelsPerMetre = 2835;  // 72 dots per inch, as written files declare
constexpr std::uint64_t kBmpMaxFileBytes = 0xffffffffu;  // bfSize is a 32-bit field
// stdio buffer for pixel rows: large enough that a row seldom needs a second
// system call, small next to the page cache.
constexpr std::size_t kBmpStreamBuffer = 1 << 20;

struct bmp_header {
    std::uint16_t type = kBmpMagic;
    std::uint32_t fileSize = 0;
    std::uint16_t reserved1 = 0;
    std::uint16_t reserved2 = 0;
    std::uint32_t offBits = 0;
    std::uint32_t infoSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = kBmpPelsPerMetre;
    std::int32_t yPelsPerMeter = kBmpPelsPerMetre;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;

    // Reads the 54 bytes at the current position. False if the file ends first.
    bool read(std::FILE* file);
    // Writes the 54 bytes. False on a write error.
    bool write(std::FILE* file) const;
    // "BM", one plane, no compression, and the given depth.
    bool isPlain(int bits) const;
};

// Where the pixels of a checked header lie and what image they make.
struct bmp_layout {
    int width = 0;
    int height = 0;        // always positive
    bool topDown = false;  // negative biHeight: the first file row is the top row
    std::uint64_t rowBytes = 0;
    std::uint64_t dataStart = 0;
    int colours = 0;  // 8-bit: colour-table entries read
};

// Bytes per stored row of `width` pixels of `bits` each, padded to 4 bytes.
std::uint64_t bmpRowBytes(std::uint64_t width, int bits);

// Checks a plain 24- or 8-bit header against the size of its file: a width and
// height of at least 1, a plane that a paged image can hold, at most 256
// colours, and pixel data that ends within the file. All arithmetic is
// overflow-checked. Fills `layout` and returns true when the file can be read.
bool bmpCheckLayout(const bmp_header& header, std::uint64_t fileBytes, bmp_layout& layout);

// Size of an open regular file in bytes; 0 for anything else (pipes, devices).
std::uint64_t bmpFileBytes(std::FILE* file);

struct bmp_file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using bmp_file = std::unique_ptr<std::FILE, bmp_file_closer>;

}  // namespace tarvel
