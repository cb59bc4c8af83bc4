// BMP decoding: 1, 4 and 8 bits with a colour table, 16 and 32 bits with bit
// fields, 24 and 32 bits plain; rows stored bottom-up or top-down. Run-length
// compressed files are refused.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/decode/decoders.h"

namespace KORBAS {
namespace decode {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;  // OS/2 1.x: 16-bit sizes, 3-byte colours
constexpr std::uint32_t kInfoHeaderBytes = 40;
// The largest header known (BITMAPV5HEADER); bigger ones are not BMP files.
constexpr std::uint32_t kMaxHeaderBytes = 124;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;
// Pixel rows are read from the file in bands of about this many bytes.
constexpr unsigned long long kBandBytes = 1u << 20;

std::uint32_t u16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t u32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

// One colour channel held in a bit mask of a 16- or 32-bit pixel.
struct Channel {
    std::uint32_t mask = 0;
    unsigned shift = 0;
    std::uint32_t max = 0;  // mask >> shift

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (!mask) return;
        while (!((mask >> shift) & 1)) ++shift;
        max = mask >> shift;
    }
    unsigned char level(std::uint32_t pixel) const {
        if (!max) return 255;
        return static_cast<unsigned char>(((pixel & mask) >> shift) * 255ull / max);
    }
};

struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topDown = false;
    unsigned bits = 0;
    std::uint32_t compression = 0;
    unsigned colours = 0;
    unsigned colourBytes = 4;
    Channel red, green, blue, alpha;
};

void read_exactly(std::FILE* file, void* buffer, std::size_t bytes, const char* what) {
    if (std::fread(buffer, 1, bytes, file) != bytes)
        throw DecodeError(std::string("BMP: file ends inside the ") + what);
}

Layout read_layout(std::FILE* file, std::uint32_t& pixelOffset, std::vector<RGBQUAD>& table) {
    unsigned char head[kFileHeaderBytes + kMaxHeaderBytes] = {};
    read_exactly(file, head, kFileHeaderBytes + 4, "header");
    pixelOffset = u32(head + 10);
    const std::uint32_t headerBytes = u32(head + kFileHeaderBytes);
    if (headerBytes != kCoreHeaderBytes &&
        (headerBytes < kInfoHeaderBytes || headerBytes > kMaxHeaderBytes))
        throw DecodeError("BMP: unknown header size " + std::to_string(headerBytes));
    read_exactly(file, head + kFileHeaderBytes + 4, headerBytes - 4, "header");
    const unsigned char* h = head + kFileHeaderBytes;

    Layout layout;
    std::int64_t height;
    if (headerBytes == kCoreHeaderBytes) {
        layout.width = u16(h + 4);
        height = u16(h + 6);
        layout.bits = u16(h + 10);
        layout.colourBytes = 3;
    } else {
        layout.width = u32(h + 4);
        height = static_cast<std::int32_t>(u32(h + 8));
        layout.bits = u16(h + 14);
        layout.compression = u32(h + 16);
        layout.colours = u32(h + 32);
        if (static_cast<std::int32_t>(layout.width) <= 0)
            throw DecodeError("BMP: bad width " +
                              std::to_string(static_cast<std::int32_t>(layout.width)));
    }
    layout.topDown = height < 0;
    layout.height = static_cast<std::uint32_t>(height < 0 ? -height : height);

    std::uint32_t masks[4] = {};
    if (layout.compression == kBitFields || layout.compression == kAlphaBitFields) {
        const unsigned count = layout.compression == kAlphaBitFields ? 4 : 3;
        if (headerBytes >= kInfoHeaderBytes + 4 * count) {
            for (unsigned i = 0; i < count; ++i) masks[i] = u32(h + kInfoHeaderBytes + 4 * i);
        } else {
            unsigned char extra[16];
            read_exactly(file, extra, 4 * count, "bit fields");
            for (unsigned i = 0; i < count; ++i) masks[i] = u32(extra + 4 * i);
        }
        if (headerBytes >= kInfoHeaderBytes + 16) masks[3] = u32(h + kInfoHeaderBytes + 12);
    } else if (layout.compression != 0) {
        throw DecodeError("BMP: compression " + std::to_string(layout.compression) +
                          " (run-length or embedded) is not supported");
    }

    switch (layout.bits) {
        case 1:
        case 4:
        case 8: {
            if (layout.compression != 0) throw DecodeError("BMP: bit fields on a palette image");
            const unsigned full = 1u << layout.bits;
            if (layout.colours == 0 || layout.colours > full) layout.colours = full;
            std::vector<unsigned char> raw(std::size_t(layout.colours) * layout.colourBytes);
            read_exactly(file, raw.data(), raw.size(), "colour table");
            table.resize(layout.colours);
            for (unsigned i = 0; i < layout.colours; ++i) {
                const unsigned char* c = raw.data() + std::size_t(i) * layout.colourBytes;
                table[i] = RGBQUAD{c[0], c[1], c[2], 0};
            }
            break;
        }
        case 16:
            if (layout.compression == 0) {  // 5-5-5
                masks[0] = 0x7c00;
                masks[1] = 0x03e0;
                masks[2] = 0x001f;
            }
            break;
        case 24:
            if (layout.compression != 0) throw DecodeError("BMP: bit fields on a 24-bit image");
            break;
        case 32:
            break;
        default:
            throw DecodeError("BMP: " + std::to_string(layout.bits) +
                              " bits per pixel is not supported");
    }
    layout.red = Channel(masks[0]);
    layout.green = Channel(masks[1]);
    layout.blue = Channel(masks[2]);
    layout.alpha = Channel(masks[3]);
    return layout;
}

// Bits per pixel of the DIB for a file's layout.
int dib_bits(const Layout& layout) {
    if (layout.bits <= 8) return 8;
    if (layout.bits == 24) return 24;
    if (layout.bits == 32 && layout.compression == 0) return 32;  // kept byte for byte
    return layout.alpha.mask ? 32 : 24;
}

void convert_fields(const unsigned char* src, const Layout& layout, std::uint32_t width,
                    unsigned char* dst) {
    const bool alpha = layout.alpha.mask != 0;
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint32_t pixel = layout.bits == 16 ? u16(src + 2 * x) : u32(src + 4 * x);
        *dst++ = layout.blue.level(pixel);
        *dst++ = layout.green.level(pixel);
        *dst++ = layout.red.level(pixel);
        if (alpha) *dst++ = layout.alpha.level(pixel);
    }
}

}  // namespace

void decodeBmp(std::FILE* file, RowSink& sink) {
    std::uint32_t pixelOffset = 0;
    std::vector<RGBQUAD> table;
    const Layout layout = read_layout(file, pixelOffset, table);

    const unsigned long long fileStride =
        (static_cast<unsigned long long>(layout.width) * layout.bits + 31) / 32 * 4;
    struct stat st {};
    if (fstat(fileno(file), &st) != 0) throw DecodeError("BMP: cannot read the file size");
    const unsigned long long fileBytes = static_cast<unsigned long long>(st.st_size);
    // Checked before anything is allocated: the pixels must be in the file.
    if (layout.width && layout.height &&
        (pixelOffset > fileBytes || fileStride > fileBytes ||
         layout.height > (fileBytes - pixelOffset) / fileStride)) {
        throw DecodeError("BMP: truncated: " + std::to_string(layout.width) + " x " +
                          std::to_string(layout.height) + " pixels need " +
                          std::to_string(fileStride * layout.height) + " bytes from offset " +
                          std::to_string(pixelOffset) + ", the file has " +
                          std::to_string(fileBytes));
    }
    PictureLayout picture;
    picture.width = layout.width;
    picture.height = layout.height;
    picture.bitCount = dib_bits(layout);
    picture.colours = static_cast<unsigned>(table.size());
    if (!sink.start(picture)) throw DecodeError(sink.reason());
    if (!table.empty()) std::memcpy(sink.colours(), table.data(), table.size() * sizeof(RGBQUAD));
    if (!sink.wantsPixels()) return;

    // Rows go to the sink from the top down. A bottom-up file keeps the top
    // row last, so its rows are read in bands from the end of the file back.
    const std::uint32_t band = static_cast<std::uint32_t>(std::max<unsigned long long>(
        1, std::min<unsigned long long>(kBandBytes / fileStride, layout.height)));
    std::vector<unsigned char> rows(static_cast<std::size_t>(fileStride) * band);
    for (std::uint32_t y0 = 0; y0 < layout.height; y0 += band) {
        const std::uint32_t n = std::min(band, layout.height - y0);
        // The band's first row in the file.
        const std::uint32_t first = layout.topDown ? y0 : layout.height - y0 - n;
        const unsigned long long at = pixelOffset + first * fileStride;
        if (at > static_cast<unsigned long long>(std::numeric_limits<off_t>::max()) ||
            fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0)
            throw DecodeError("BMP: cannot seek to the pixels");
        read_exactly(file, rows.data(), static_cast<std::size_t>(fileStride) * n, "pixels");
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t y = y0 + i;
            const unsigned char* src = rows.data() + static_cast<std::size_t>(fileStride) *
                                                         (layout.topDown ? i : n - 1 - i);
            unsigned char* dst = sink.row(y);
            if (layout.bits <= 8)
                convertRow(src, layout.bits, 1, Samples::index, layout.width, dst);
            else if (layout.bits == 24 || (layout.bits == 32 && layout.compression == 0))
                std::memcpy(dst, src, picture.rowBytes());
            else
                convert_fields(src, layout, layout.width, dst);
            if (!sink.put(y)) throw DecodeError(sink.reason());
        }
    }
}

}  // namespace decode
}  // namespace KORBAS
