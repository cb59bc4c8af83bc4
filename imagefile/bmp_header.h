// The headers of a BMP file, read whatever their kind and written in the
// classic 54-byte form, and the checks that tie them to the file's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tarvel {

constexpr std::uint16_t kBmpMagic = 0x4d42;       // "BM" read as a little-endian word
constexpr std::uint32_t kBmpPelsPerMetre = 2835;  // 72 dots per inch, as written files declare
constexpr std::uint64_t kBmpMaxFileBytes = 0xffffffffu;  // bfSize is a 32-bit field
// Pixel rows are read and written in bands of about this many bytes (at least
// one row): one system call moves a whole band, straight between the file and
// the band without passing through the stream's own small buffer, and a band
// is small next to the page cache.
constexpr std::size_t kBmpBandBytes = 1 << 20;

// Rows of rowBytes bytes in one band.
inline std::size_t bmpBandRows(std::uint64_t rowBytes) {
    return rowBytes >= kBmpBandBytes ? 1 : static_cast<std::size_t>(kBmpBandBytes / rowBytes);
}

// The kinds of information header the reader knows, by their size in bytes.
// OS/2 1.x has 16-bit sizes and 3-byte colour-table entries. OS/2 2.x headers
// run from 16 to 64 bytes, cut after any field; the Windows headers of 40, 52
// and 56 bytes lie in that range and start with the same fields. V4 and V5
// add colour-space fields the reader does not need.
constexpr std::uint32_t kBmpCoreHeaderBytes = 12;
constexpr std::uint32_t kBmpOs2MinHeaderBytes = 16;
constexpr std::uint32_t kBmpOs2MaxHeaderBytes = 64;
constexpr std::uint32_t kBmpV4HeaderBytes = 108;
constexpr std::uint32_t kBmpV5HeaderBytes = 124;

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

    // Reads the file header and an information header of any known kind from
    // the current position; fields a short header lacks read as 0. Leaves the
    // stream after the information header. False, with the reason in why,
    // when the file ends first or the header kind is unknown.
    bool read(std::FILE* file, std::string& why);
    // Writes the 54 bytes of the classic form. False on a write error.
    bool write(std::FILE* file) const;
    // Bytes of one colour-table entry: 3 after an OS/2 1.x header, else 4.
    unsigned colourEntryBytes() const { return infoSize == kBmpCoreHeaderBytes ? 3 : 4; }
    // Where the colour table starts: right after the information header.
    std::uint64_t tableStart() const { return 14 + std::uint64_t{infoSize}; }
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

// Checks an uncompressed 24- or 8-bit header against the size of its file: a
// width and height of at least 1, a plane that a paged image can hold, at most
// 256 colours, pixel data that starts after the headers and ends within the
// file. The pixels start at bfOffBits, or right after the colour table when it
// is 0; an 8-bit table holds biClrUsed entries (256 when 0), fewer when
// bfOffBits leaves room for fewer. All arithmetic is overflow-checked. Fills
// `layout` and returns true when the file can be read; else why says why.
bool bmpCheckLayout(const bmp_header& header, std::uint64_t fileBytes, bmp_layout& layout,
                    std::string& why);

// Size of an open regular file in bytes; 0 for anything else (pipes, devices).
std::uint64_t bmpFileBytes(std::FILE* file);

struct bmp_file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using bmp_file = std::unique_ptr<std::FILE, bmp_file_closer>;

}  // namespace tarvel
