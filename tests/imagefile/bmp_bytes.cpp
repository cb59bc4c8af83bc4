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
// height is negative); row(y, out) appends picture row y without padding.
bytes assemble(const bmp_recipe& s, std::size_t pixelBytes, const bytes& palette,
               const std::function<void(int, bytes&)>& row) {
    const std::size_t rowBytes = (pixelBytes * static_cast<std::size_t>(s.width) + 3) / 4 * 4;
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
        const std::size_t start = b.size();
        row(s.height < 0 ? int(r) : s.height - 1 - int(r), b);
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
    return assemble(s, s.bits == 32 ? 4 : 3, test_palette(), [&](int y, bytes& out) {
        for (int x = 0; x < s.width; ++x) {
            out.insert(out.end(), {sample(2, x, y), sample(1, x, y), sample(0, x, y)});
            if (s.bits == 32) out.push_back(0x5a);
        }
    });
}

bytes make_bmp8(const bmp_recipe& s, const sample_fn& index, const bytes& palette) {
    return assemble(s, 1, palette, [&](int y, bytes& out) {
        for (int x = 0; x < s.width; ++x) out.push_back(index(0, x, y));
    });
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
