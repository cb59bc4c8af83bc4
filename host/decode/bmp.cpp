// BMP decoding: 1, 4 and 8 bits with a colour table, plain or run-length
// compressed (RLE4, RLE8), 16 and 32 bits with bit fields (an alpha field
// gives transparency), 24 and 32 bits plain; OS/2 1.x and 2.x, Windows,
// V4 and V5 headers; rows stored bottom-up or top-down.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/decode/bmp_rle.h"
#include "host/decode/decoders.h"

namespace KORBAS {
namespace decode {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;  // OS/2 1.x: 16-bit sizes, 3-byte colours
// OS/2 2.x headers run from 16 to 64 bytes, cut after any field; Windows
// headers are 40 bytes and more, up to BITMAPV5HEADER. Bigger ones are not
// BMP files.
constexpr std::uint32_t kOs2MinHeaderBytes = 16;
constexpr std::uint32_t kOs2MaxHeaderBytes = 64;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kMaxHeaderBytes = 124;
// Compression values. OS/2 2.x headers give 3 and 4 other meanings.
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
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
    // A channel without bits reads as 0.
    unsigned char level(std::uint32_t pixel) const {
        if (!max) return 0;
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

    bool runLengths() const { return compression == kRle8 || compression == kRle4; }
};

void read_exactly(std::FILE* file, void* buffer, std::size_t bytes, const char* what) {
    if (std::fread(buffer, 1, bytes, file) != bytes)
        throw DecodeError(std::string("BMP: file ends inside the ") + what);
}

bool knownHeaderSize(std::uint32_t bytes) {
    return bytes == kCoreHeaderBytes || (bytes >= kOs2MinHeaderBytes && bytes <= kMaxHeaderBytes);
}

// Reads the headers, the bit fields and the colour table, which ends where the
// pixels start when bfOffBits says so before the declared count.
Layout read_layout(std::FILE* file, std::uint32_t& pixelOffset, std::vector<RGBQUAD>& table) {
    unsigned char head[kFileHeaderBytes + kMaxHeaderBytes] = {};
    read_exactly(file, head, kFileHeaderBytes + 4, "header");
    pixelOffset = u32(head + 10);
    const std::uint32_t headerBytes = u32(head + kFileHeaderBytes);
    if (!knownHeaderSize(headerBytes))
        throw DecodeError("BMP: unknown header size " + std::to_string(headerBytes));
    read_exactly(file, head + kFileHeaderBytes + 4, headerBytes - 4, "header");
    const unsigned char* h = head + kFileHeaderBytes;
    std::uint64_t at = kFileHeaderBytes + headerBytes;  // where the file is read next

    Layout layout;
    std::int64_t height;
    if (headerBytes == kCoreHeaderBytes) {
        layout.width = u16(h + 4);
        height = u16(h + 6);
        layout.bits = u16(h + 10);
        layout.colourBytes = 3;
    } else {
        // Fields beyond a short OS/2 2.x header read as 0.
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

    const bool os2 = headerBytes < kInfoHeaderBytes || headerBytes == kOs2MaxHeaderBytes;
    if (os2 && (layout.compression == kBitFields || layout.compression == 4))
        throw DecodeError("BMP: OS/2 Huffman or RLE24 compression is not supported");
    std::uint32_t masks[4] = {};
    if (layout.compression == kBitFields || layout.compression == kAlphaBitFields) {
        const unsigned count = layout.compression == kAlphaBitFields ? 4 : 3;
        if (headerBytes >= kInfoHeaderBytes + 4 * count) {
            for (unsigned i = 0; i < count; ++i) masks[i] = u32(h + kInfoHeaderBytes + 4 * i);
        } else {
            unsigned char extra[16];
            read_exactly(file, extra, 4 * count, "bit fields");
            for (unsigned i = 0; i < count; ++i) masks[i] = u32(extra + 4 * i);
            at += 4 * count;
        }
        if (headerBytes >= kInfoHeaderBytes + 16) masks[3] = u32(h + kInfoHeaderBytes + 12);
    } else if (layout.compression != 0 && !layout.runLengths()) {
        throw DecodeError("BMP: compression " + std::to_string(layout.compression) +
                          " (JPEG, PNG or unknown) is not supported");
    }
    if ((layout.compression == kRle8 && layout.bits != 8) ||
        (layout.compression == kRle4 && layout.bits != 4))
        throw DecodeError("BMP: run-length compression with " + std::to_string(layout.bits) +
                          " bits per pixel");
    if (layout.runLengths() && layout.topDown)
        throw DecodeError("BMP: run-length compressed rows must be stored bottom-up");

    switch (layout.bits) {
        case 1:
        case 4:
        case 8: {
            if (layout.compression != 0 && !layout.runLengths())
                throw DecodeError("BMP: bit fields on a palette image");
            const unsigned full = 1u << layout.bits;
            if (layout.colours == 0 || layout.colours > full) layout.colours = full;
            if (pixelOffset > at) {
                const std::uint64_t room = (pixelOffset - at) / layout.colourBytes;
                if (room < layout.colours) layout.colours = static_cast<unsigned>(room);
            }
            if (layout.colours == 0) throw DecodeError("BMP: palette image without colours");
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

// Plain rows go to the sink from the top down. A bottom-up file keeps the top
// row last, so its rows are read in bands from the end of the file back.
void read_plain_rows(std::FILE* file, const Layout& layout, std::uint32_t pixelOffset,
                     unsigned long long fileStride, const PictureLayout& picture, RowSink& sink) {
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
    if (pixelOffset > fileBytes)
        throw DecodeError("BMP: the pixels would start at byte " + std::to_string(pixelOffset) +
                          ", beyond the end of the file");
    // Checked before anything is allocated: plain pixels must be in the file.
    if (!layout.runLengths() && layout.width && layout.height &&
        (fileStride > fileBytes || layout.height > (fileBytes - pixelOffset) / fileStride)) {
        throw DecodeError("BMP: truncated: " + std::to_string(layout.width) + " x " +
                          std::to_string(layout.height) + " pixels need " +
                          std::to_string(fileStride * layout.height) + " bytes from offset " +
                          std::to_string(pixelOffset) + ", the file has " +
                          std::to_string(fileBytes));
    }
    PictureLayout picture;
    picture.width = layout.width;
    picture.height = layout.height;
    // Plain 32-bit pixels carry a byte to skip; bit fields become three bytes,
    // four with an alpha field.
    if (layout.bits <= 8)
        picture.bitCount = 8;
    else if (layout.bits == 24 || (layout.bits == 32 && layout.compression == 0))
        picture.bitCount = static_cast<int>(layout.bits);
    else
        picture.bitCount = layout.alpha.mask ? 32 : 24;
    if (layout.alpha.mask) picture.alpha = Alpha::straight;
    if (layout.runLengths()) {
        // Pixels the runs skip are transparent: shown with an entry of
        // opacity 0 after the table, or entry 0 when the table is full.
        picture.alpha = Alpha::straight;
        for (RGBQUAD& entry : table) entry.rgbReserved = 255;
        if (table.size() < kMaxColourEntries) table.push_back(RGBQUAD{0, 0, 0, 0});
        // Runs start at the bottom row: the rows come as stored, bottom first.
        picture.orientation = Orientation::flipped;
    }
    picture.colours = static_cast<unsigned>(table.size());
    if (!sink.start(picture)) throw DecodeError(sink.reason());
    if (!table.empty()) std::memcpy(sink.colours(), table.data(), table.size() * sizeof(RGBQUAD));
    if (!sink.wantsPixels()) return;

    if (layout.runLengths()) {
        if (fseeko(file, static_cast<off_t>(pixelOffset), SEEK_SET) != 0)
            throw DecodeError("BMP: cannot seek to the pixels");
        const unsigned char skipped =
            static_cast<unsigned char>(table.size() > layout.colours ? layout.colours : 0);
        decodeRunLengths(file, layout.compression == kRle4 ? 4 : 8, picture, skipped, sink);
        return;
    }
    read_plain_rows(file, layout, pixelOffset, fileStride, picture, sink);
}

}  // namespace decode
}  // namespace KORBAS
