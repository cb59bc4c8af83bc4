// Little- and big-endian integers read and written one byte at a time.
#include "imagefile/byte_order.h"

namespace tarvel {

namespace {

bool readBytes(std::FILE* file, int count, std::uint32_t& value, bool bigEndian) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        const int c = std::fgetc(file);
        if (c == EOF) return false;
        const int shift = bigEndian ? 8 * (count - 1 - i) : 8 * i;
        value |= static_cast<std::uint32_t>(c) << shift;
    }
    return true;
}

bool writeBytes(std::FILE* file, int count, std::uint32_t value, bool bigEndian) {
    for (int i = 0; i < count; ++i) {
        const int shift = bigEndian ? 8 * (count - 1 - i) : 8 * i;
        if (std::fputc(static_cast<int>((value >> shift) & 0xffu), file) == EOF) return false;
    }
    return true;
}

}  // namespace

bool readInt32(std::FILE* file, std::uint32_t& value, bool bigEndian) {
    return readBytes(file, 4, value, bigEndian);
}

bool writeInt32(std::FILE* file, std::uint32_t value, bool bigEndian) {
    return writeBytes(file, 4, value, bigEndian);
}

bool readInt16(std::FILE* file, std::uint16_t& value, bool bigEndian) {
    std::uint32_t wide = 0;
    const bool ok = readBytes(file, 2, wide, bigEndian);
    value = static_cast<std::uint16_t>(wide);
    return ok;
}

bool writeInt16(std::FILE* file, std::uint16_t value, bool bigEndian) {
    return writeBytes(file, 2, value, bigEndian);
}

}  // namespace tarvel
