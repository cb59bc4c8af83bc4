// Hand-made BMP files for the tests.
#include "bmp_bytes.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tarvel_test {

namespace {

void put(bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> 8 * i));
}

// Headers, table and gap, then the rows from the bottom (or the top when the
// height is negative): indices, or blue, green, red (and 0x5a in 32-bit
// files); zero padding.
bytes assemble(const bmp_recipe& s, const sample_fn& sample, const bytes& palette, bool indexed) {
    const int pixelBytes = indexed ? 1 : s.bits == 32 ? 4 : 3;
    const std::size_t rowBytes = (std::size_t(pixelBytes) * std::size_t(s.width) + 3) / 4 * 4;
    const std::uint32_t rows = static_cast<std::uint32_t>(std::abs(s.height));
    const std::uint32_t offBits = 54 + 4 * static_cast<std::uint32_t>(s.colours) + s.gap;
    const std::uint32_t image = static_cast<std::uint32_t>(rowBytes * rows);
    bytes b = {'B', 'M'};
    for (std::uint32_t v : {offBits + image, 0u, offBits, 40u, std::uint32_t(s.width),
                            std::uint32_t(s.height), 1u | std::uint32_t(s.bits) << 16,  // planes 1
                            s.compression, image, 2835u, 2835u, s.clrUsed, 0u})
        put(b, v);
    for (int i = 0; i < s.colours; ++i)
        b.insert(b.end(), {palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0});
    b.insert(b.end(), s.gap, 0xee);
    for (std::uint32_t r = 0; r < rows; ++r) {
        const int y = s.height < 0 ? int(r) : s.height - 1 - int(r);
        const std::size_t start = b.size();
        for (int x = 0; x < s.width; ++x) {
            for (int c = 0; c < pixelBytes; ++c)
                b.push_back(indexed ? sample(0, x, y) : c == 3 ? 0x5a : sample(2 - c, x, y));
        }
        b.resize(start + rowBytes, 0);
    }
    return b;
}

}  // namespace

bytes test_palette(int entries) {
    bytes p(768, 0);
    for (int i = 0; i < 3 * entries; ++i)  // red 255 - e, green 2e, blue e of entry e
        p[i] = static_cast<std::uint8_t>(i % 3 ? i / 3 * (3 - i % 3) : 255 - i / 3);
    return p;
}

bytes make_bmp24(const bmp_recipe& s, const sample_fn& sample) {
    return assemble(s, sample, test_palette(), false);
}

bytes make_bmp8(const bmp_recipe& s, const sample_fn& index, const bytes& palette) {
    return assemble(s, index, palette, true);
}

void write_bytes(const std::string& path, const bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace tarvel_test
