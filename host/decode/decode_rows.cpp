// DecodeRows: opens a file, recognises its format by its first bytes and
// streams its rows into a sink.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "host/bitmap.h"
#include "host/decode/decoders.h"
#include "host/decode/shown_rows.h"

namespace KORBAS {
namespace decode {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

enum class Format { unknown, jpeg, png, tiff, bmp };

// Bytes that identify every supported format.
constexpr std::size_t kMagicBytes = 8;

Format identify(const unsigned char* m, std::size_t n) {
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (n >= 3 && m[0] == 0xff && m[1] == 0xd8 && m[2] == 0xff) return Format::jpeg;
    if (n >= 8 && std::memcmp(m, png, 8) == 0) return Format::png;
    // Classic TIFF (42) and BigTIFF (43), either byte order.
    if (n >= 4 && ((m[0] == 'I' && m[1] == 'I' && (m[2] == 42 || m[2] == 43) && m[3] == 0) ||
                   (m[0] == 'M' && m[1] == 'M' && m[2] == 0 && (m[3] == 42 || m[3] == 43))))
        return Format::tiff;
    if (n >= 2 && m[0] == 'B' && m[1] == 'M') return Format::bmp;
    return Format::unknown;
}

void decode_file(const char* path, RowSink& sink) {
    FileHandle file(std::fopen(path, "rb"));
    if (!file) throw DecodeError(std::string("cannot open: ") + std::strerror(errno));
    unsigned char magic[kMagicBytes];
    const std::size_t n = std::fread(magic, 1, sizeof magic, file.get());
    if (std::ferror(file.get()))
        throw DecodeError(std::string("cannot read: ") + std::strerror(errno));
    if (n == 0) throw DecodeError("the file is empty");
    std::rewind(file.get());
    switch (identify(magic, n)) {
        case Format::jpeg:
            return decodeJpeg(file.get(), sink);
        case Format::png:
            return decodePng(file.get(), sink);
        case Format::tiff:
            file.reset();
            return decodeTiff(path, sink);
        case Format::bmp:
            return decodeBmp(file.get(), sink);
        case Format::unknown:
            break;
    }
    throw DecodeError("not a JPEG, PNG, TIFF or BMP file");
}

}  // namespace

void DecodeRows(const char* path, RowSink& sink) {
    const std::string name = path ? path : "(no file name)";
    try {
        if (!path || !*path) throw DecodeError("no file name given");
        ShownRows shown(sink);
        decode_file(path, shown);
    } catch (const DecodeError& e) {
        throw CImageDecodeException(name, e.what());
    } catch (const std::bad_alloc&) {
        throw CImageDecodeException(name, "out of memory");
    }
}

}  // namespace decode
}  // namespace KORBAS
