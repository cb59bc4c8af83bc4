// Hand-made BMP files for the tests.
#include "bmp_bytes.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tarvel_test {

namespace {

void put16(bytes& b, std::uint32_t v) {
    b.push_back(v & 0xff);
    b.push_back((v >> 8) & 0xff);
}
void put32(bytes& b, std::uint32_t v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// Headers for a file whose rows hold rowBytes bytes and whose pixels start
// after the table and the gap.
bytes headers(const bmp_recipe& s, std::size_t rowBytes) {
    const std::uint32_t tableBytes = 4 * static_cast<std::uint32_t>(s.colours);
    const std::uint32_t offBits = 54 + tableBytes + s.gap;
    const std::uint32_t rows = static_cast<std::uint32_t>(std::abs(s.height));
    bytes b;
    b.push_back(static_cast<std::uint8_t>(s.magic[0]));
    b.push_back(static_cast<std::uint8_t>(s.magic[1]));
    put32(b, static_cast<std::uint32_t>(offBits + rowBytes * rows));
    put32(b, 0);
    put32(b, offBits);
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(s.width));
    put32(b, static_cast<std::uint32_t>(s.height));
    put16(b, s.planes);
    put16(b, static_cast<std::uint32_t>(s.bits));
    put32(b, s.compression);
    put32(b, static_cast<std::uint32_t>(rowBytes * rows));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, s.clrUsed);
    put32(b, 0);
    for (int i = 0; i < s.colours; ++i) {
        b.push_back(static_cast<std::uint8_t>(i));
        b.push_back(static_cast<std::uint8_t>(2 * i));
        b.push_back(static_cast<std::uint8_t>(255 - i));
        b.push_back(0);
    }
    b.insert(b.end(), s.gap, 0xee);
    return b;
}

// File row r shows picture row y.
int picture_row(const bmp_recipe& s, int r) {
    return s.height < 0 ? r : s.height - 1 - r;
}

}  // namespace

bytes make_bmp24(const bmp_recipe& s, const rgb_fn& pixel) {
    const std::size_t rowBytes = (3 * static_cast<std::size_t>(s.width) + 3) / 4 * 4;
    bytes b = headers(s, rowBytes);
    for (int r = 0; r < std::abs(s.height); ++r) {
        const int y = picture_row(s, r);
        for (int x = 0; x < s.width; ++x) {
            std::uint8_t rgb[3];
            pixel(x, y, rgb);
            b.push_back(rgb[2]);
            b.push_back(rgb[1]);
            b.push_back(rgb[0]);
        }
        b.insert(b.end(), rowBytes - 3 * static_cast<std::size_t>(s.width), 0xaa);
    }
    return b;
}

bytes make_bmp8(const bmp_recipe& s, const index_fn& pixel) {
    const std::size_t rowBytes = (static_cast<std::size_t>(s.width) + 3) / 4 * 4;
    bytes b = headers(s, rowBytes);
    for (int r = 0; r < std::abs(s.height); ++r) {
        const int y = picture_row(s, r);
        for (int x = 0; x < s.width; ++x) b.push_back(pixel(x, y));
        b.insert(b.end(), rowBytes - static_cast<std::size_t>(s.width), 0xaa);
    }
    return b;
}

std::uint32_t le32(const bytes& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
           static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::uint16_t le16(const bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

void write_bytes(const std::string& path, const bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace tarvel_test
