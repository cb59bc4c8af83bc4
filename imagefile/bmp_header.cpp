// BMP headers: reading any known kind, writing the classic form, and the size checks.
#include "imagefile/bmp_header.h"

#include <sys/stat.h>

#include <climits>

#include "imagefile/byte_order.h"
#include "imagefile/imagefile.h"

namespace tarvel {

namespace {

std::uint32_t le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

bool knownInfoSize(std::uint32_t size) {
    return size == kBmpCoreHeaderBytes ||
           (size >= kBmpOs2MinHeaderBytes && size <= kBmpOs2MaxHeaderBytes) ||
           size == kBmpV4HeaderBytes || size == kBmpV5HeaderBytes;
}

}  // namespace

bool bmp_header::read(std::FILE* file, std::string& why) {
    if (!readInt16(file, type, false) || !readInt32(file, fileSize, false) ||
        !readInt16(file, reserved1, false) || !readInt16(file, reserved2, false) ||
        !readInt32(file, offBits, false) || !readInt32(file, infoSize, false)) {
        why = "the file ends inside its headers";
        return false;
    }
    if (type != kBmpMagic) {
        why = "not a BMP file (it does not start with \"BM\")";
        return false;
    }
    if (!knownInfoSize(infoSize)) {
        why = "an information header of " + std::to_string(infoSize) +
              " bytes is not a kind this reader knows";
        return false;
    }
    // The rest of the information header; a short OS/2 2.x header leaves the
    // later fields at 0.
    unsigned char h[kBmpV5HeaderBytes] = {};
    const std::size_t rest = infoSize - 4;
    if (std::fread(h + 4, 1, rest, file) != rest) {
        why = "the file ends inside its headers";
        return false;
    }
    if (infoSize == kBmpCoreHeaderBytes) {
        // Unsigned 16-bit sizes; rows always bottom-up.
        width = static_cast<std::int32_t>(le16(h + 4));
        height = static_cast<std::int32_t>(le16(h + 6));
        planes = static_cast<std::uint16_t>(le16(h + 8));
        bitCount = static_cast<std::uint16_t>(le16(h + 10));
        compression = sizeImage = clrUsed = clrImportant = 0;
        xPelsPerMeter = yPelsPerMeter = 0;
        return true;
    }
    width = static_cast<std::int32_t>(le32(h + 4));
    height = static_cast<std::int32_t>(le32(h + 8));
    planes = static_cast<std::uint16_t>(le16(h + 12));
    bitCount = static_cast<std::uint16_t>(le16(h + 14));
    compression = le32(h + 16);
    sizeImage = le32(h + 20);
    xPelsPerMeter = static_cast<std::int32_t>(le32(h + 24));
    yPelsPerMeter = static_cast<std::int32_t>(le32(h + 28));
    clrUsed = le32(h + 32);
    clrImportant = le32(h + 36);
    return true;
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

std::uint64_t bmpRowBytes(std::uint64_t width, int bits) {
    return (width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
}

bool bmpCheckLayout(const bmp_header& header, std::uint64_t fileBytes, bmp_layout& layout,
                    std::string& why) {
    const int bits = header.bitCount;
    static const char* const kCompressions[] = {
        "none", "RLE8", "RLE4", "bit fields", "JPEG", "PNG", "alpha bit fields"};
    if (header.compression != 0) {
        why = std::string("compressed pixels (") +
              (header.compression < 7 ? kCompressions[header.compression] : "unknown method") +
              "): this reader takes uncompressed files";
        return false;
    }
    if (header.planes != 1) {
        why = std::to_string(header.planes) + " planes: a BMP file has 1";
        return false;
    }
    if (bits != 24 && bits != 8) {
        why = std::to_string(bits) + " bits per pixel: this reader takes 8 and 24";
        return false;
    }
    // INT_MIN has no positive counterpart.
    if (header.width < 1 || header.height == 0 || header.height == INT_MIN) {
        why = "no pixels (" + std::to_string(header.width) + " x " + std::to_string(header.height) +
              ")";
        return false;
    }
    const std::int64_t height = header.height < 0 ? -std::int64_t{header.height} : header.height;
    // A plane of the paged image is addressed with signed 32-bit offsets.
    if (std::int64_t{header.width} * height > INT_MAX) {
        why = std::to_string(header.width) + " x " + std::to_string(height) +
              " pixels are more than a paged image holds";
        return false;
    }

    bmp_layout out;
    out.width = header.width;
    out.height = static_cast<int>(height);
    out.topDown = header.height < 0;
    out.rowBytes = bmpRowBytes(static_cast<std::uint64_t>(header.width), bits);
    const std::uint64_t tableStart = header.tableStart();
    const unsigned entryBytes = header.colourEntryBytes();
    if (header.offBits != 0 && header.offBits < tableStart) {
        why = "the pixels would start at byte " + std::to_string(header.offBits) +
              ", inside the headers";
        return false;
    }
    // Entries between the headers and the pixels: a 24-bit file's optional
    // table is skipped, an 8-bit file's is read.
    std::uint64_t entries = header.clrUsed;
    if (bits == 8) {
        if (header.clrUsed > static_cast<std::uint32_t>(kBmpMaxColours)) {
            why = std::to_string(header.clrUsed) + " colours: an 8-bit file has at most 256";
            return false;
        }
        if (entries == 0) entries = kBmpMaxColours;
        // A table may be shorter than declared when bfOffBits says so.
        if (header.offBits != 0) {
            const std::uint64_t room = (header.offBits - tableStart) / entryBytes;
            if (room < entries) entries = room;
        }
        if (entries == 0) {
            why = "an 8-bit file without a colour table";
            return false;
        }
        out.colours = static_cast<int>(entries);
    }
    out.dataStart = header.offBits != 0 ? header.offBits : tableStart + entries * entryBytes;
    std::uint64_t pixelBytes = 0;
    std::uint64_t end = 0;
    if (__builtin_mul_overflow(out.rowBytes, static_cast<std::uint64_t>(height), &pixelBytes) ||
        __builtin_add_overflow(out.dataStart, pixelBytes, &end) || end > fileBytes) {
        why = "truncated: " + std::to_string(out.width) + " x " + std::to_string(out.height) +
              " pixels from byte " + std::to_string(out.dataStart) + " need more than the " +
              std::to_string(fileBytes) + " bytes of the file";
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
