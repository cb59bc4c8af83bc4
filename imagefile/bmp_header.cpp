// BMP headers: field-by-field reading and writing, and the size checks.
#include "imagefile/bmp_header.h"

#include <sys/stat.h>

#include <climits>

#include "imagefile/byte_order.h"
#include "imagefile/imagefile.h"

namespace tarvel {

bool bmp_header::read(std::FILE* file) {
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    std::uint32_t xp = 0;
    std::uint32_t yp = 0;
    const bool ok = readInt16(file, type, false) && readInt32(file, fileSize, false) &&
                    readInt16(file, reserved1, false) && readInt16(file, reserved2, false) &&
                    readInt32(file, offBits, false) && readInt32(file, infoSize, false) &&
                    readInt32(file, w, false) && readInt32(file, h, false) &&
                    readInt16(file, planes, false) && readInt16(file, bitCount, false) &&
                    readInt32(file, compression, false) && readInt32(file, sizeImage, false) &&
                    readInt32(file, xp, false) && readInt32(file, yp, false) &&
                    readInt32(file, clrUsed, false) && readInt32(file, clrImportant, false);
    width = static_cast<std::int32_t>(w);
    height = static_cast<std::int32_t>(h);
    xPelsPerMeter = static_cast<std::int32_t>(xp);
    yPelsPerMeter = static_cast<std::int32_t>(yp);
    return ok;
}

bool bmp_header::write(std::FILE* file) const {
    return writeInt16(file, type, false) && writeInt32(file, fileSize, false) &&
           writeInt16(file, reserved1, false) && writeInt16(file, reserved2, false) &&
           writeInt32(file, offBits, false) && writeInt32(file, infoSize, false) &&
           writeInt32(file, static_cast<std::uint32_t>(width), false) &&
           writeInt32(file, static_cast<std::uint32_t>(height), false) &&
           writeInt16(file, planes, false) && writeInt16(file, bitCount, false) &&
           writeInt32(file, compression, false) && writeInt32(file, sizeImage, false) &&
           writeInt32(file, static_cast<std::uint32_t>(xPelsPerMeter), false) &&
           writeInt32(file, static_cast<std::uint32_t>(yPelsPerMeter), false) &&
           writeInt32(file, clrUsed, false) && writeInt32(file, clrImportant, false);
}

bool bmp_header::isPlain(int bits) const {
    return type == kBmpMagic && planes == 1 && compression == 0 && bitCount == bits;
}

std::uint64_t bmpRowBytes(std::uint64_t width, int bits) {
    return (width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
}

bool bmpCheckLayout(const bmp_header& header, std::uint64_t fileBytes, bmp_layout& layout) {
    const int bits = header.bitCount;
    if (bits != 24 && bits != 8) return false;
    // INT_MIN has no positive counterpart.
    if (header.width < 1 || header.height == 0 || header.height == INT_MIN) return false;
    const std::int64_t height = header.height < 0 ? -std::int64_t{header.height} : header.height;
    // A plane of the paged image is addressed with signed 32-bit offsets.
    if (std::int64_t{header.width} * height > INT_MAX) return false;

    bmp_layout out;
    out.width = header.width;
    out.height = static_cast<int>(height);
    out.topDown = header.height < 0;
    out.rowBytes = bmpRowBytes(static_cast<std::uint64_t>(header.width), bits);
    if (bits == 8) {
        if (header.clrUsed > static_cast<std::uint32_t>(kBmpMaxColours)) return false;
        out.colours = header.clrUsed == 0 ? kBmpMaxColours : static_cast<int>(header.clrUsed);
        // The pixel rows follow the colour table directly.
        out.dataStart = kBmpHeaderBytes + 4 * static_cast<std::uint64_t>(out.colours);
    } else {
        out.dataStart = header.offBits > kBmpHeaderBytes ? header.offBits : kBmpHeaderBytes;
    }
    std::uint64_t pixelBytes = 0;
    std::uint64_t end = 0;
    if (__builtin_mul_overflow(out.rowBytes, static_cast<std::uint64_t>(height), &pixelBytes) ||
        __builtin_add_overflow(out.dataStart, pixelBytes, &end) || end > fileBytes) {
        return false;
    }
    layout = out;
    return true;
}

std::uint64_t bmpFileBytes(std::FILE* file) {
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

}  // namespace tarvel
