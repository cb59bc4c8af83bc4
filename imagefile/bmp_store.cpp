// Writing paged images as uncompressed BMP files: 8-bit for grey and palette
// images, 24-bit for the rest, rows bottom-up.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "imagefile/bgr_rows.h"
#include "imagefile/bmp_header.h"
#include "imagefile/imagefile.h"
#include "platform/output_file.h"

namespace tarvel {

namespace {

// Writes the header, the colour table (if any) and the rows, bottom row first,
// a band at a time, under a temporary name that replaces the file only once it
// is complete (platform/output_file.h). fillRow(y, buffer) fills the stored
// row of image row y; padding stays zero. One progress step per row when a
// sink is given. The file is abandoned when a page of the image could not be
// read or written back meanwhile (its rows would hold zeros); why says what
// went wrong.
template <class FillRow>
bool writeFile(const char* path, const image& img, bmp_header header, const unsigned char* table,
               std::size_t tableBytes, int width, int height, KORBAS::IProgressWork* progress,
               std::string& why, FillRow fillRow) {
    const int bits = header.bitCount;
    const std::uint64_t rowBytes = bmpRowBytes(static_cast<std::uint64_t>(width), bits);
    const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(height);
    const std::uint64_t fileBytes = kBmpHeaderBytes + tableBytes + pixelBytes;
    if (fileBytes > kBmpMaxFileBytes) {  // the size fields cannot say it
        why = std::to_string(fileBytes) + " bytes pass the 4 GiB that a BMP file can hold";
        return false;
    }

    const std::size_t bandRows = bmpBandRows(rowBytes);
    std::unique_ptr<unsigned char[]> band(new (std::nothrow) unsigned char[bandRows * rowBytes]());
    if (!band) {
        why = "out of memory for a band of rows";
        return false;
    }
    output_file out;
    if (!out.Open(path)) {
        why = out.GetError();
        return false;
    }
    std::FILE* file = out.GetStream();
    const int loadFailures = img.GetPageLoadFailures();
    const int saveFailures = img.GetPageSaveFailures();

    header.fileSize = static_cast<std::uint32_t>(fileBytes);
    header.offBits = static_cast<std::uint32_t>(kBmpHeaderBytes + tableBytes);
    header.width = width;
    header.height = height;
    header.sizeImage = static_cast<std::uint32_t>(pixelBytes);
    bool ok = header.write(file) &&
              (tableBytes == 0 || std::fwrite(table, 1, tableBytes, file) == tableBytes);
    if (progress != nullptr) progress->SetTotal(height);
    // Bands of rows from the bottom up, each written with one call.
    for (int y = height - 1; ok && y >= 0;) {
        std::size_t rows = 0;
        for (; rows < bandRows && y >= 0; ++rows, --y) {
            fillRow(y, band.get() + rows * rowBytes);
            if (progress != nullptr) progress->Advance(1);
        }
        ok = std::fwrite(band.get(), rowBytes, rows, file) == rows;
    }
    if (!ok) {
        why = std::string("cannot write: ") + std::strerror(errno);
    } else if (img.GetPageLoadFailures() != loadFailures ||
               img.GetPageSaveFailures() != saveFailures) {
        why = img.GetError();
        ok = false;
    } else if (!out.Commit()) {
        why = out.GetError();
        ok = false;
    }
    return ok;
}

}  // namespace

bool CImageFileFormat_bmp::Store(image& img, const char* path, const char*) {
    m_error.clear();
    if (!img.IsValid()) return fail(path, "the image holds no pages");
    m_target = &img;
    std::string why;
    const bool ok =
        img.GetType() == 1 || img.GetType() == 2 ? store8(path, why) : store24(path, why);
    m_target = nullptr;
    return ok || fail(path, why);
}

bool CImageFileFormat_bmp::store24(const char* path, std::string& why) {
    image& img = *m_target;
    const int width = img.GetWidth();
    image::ipointer red(&img, 0, 0);
    image::ipointer green(&img, 1, 0);
    image::ipointer blue(&img, 2, 0);
    bmp_header header;
    header.bitCount = 24;
    return writeFile(path, img, header, nullptr, 0, width, img.GetHeight(), m_storeProgress, why,
                     [&](int y, unsigned char* out) {
                         red = y * width;
                         green = y * width;
                         blue = y * width;
                         InterleaveBgr(red.GetPtr(), green.GetPtr(), blue.GetPtr(), out, width);
                     });
}

bool CImageFileFormat_bmp::store8(const char* path, std::string& why) {
    image& img = *m_target;
    const int width = img.GetWidth();
    // Palette images write their palette; grey images the grey ramp.
    unsigned char table[kBmpColourTableBytes] = {};
    const unsigned char* palette = img.GetType() == 2 ? img.GetPalette() : nullptr;
    for (int i = 0; i < kBmpMaxColours; ++i) {
        const unsigned char grey = static_cast<unsigned char>(i);
        table[4 * i] = palette != nullptr ? palette[3 * i + 2] : grey;
        table[4 * i + 1] = palette != nullptr ? palette[3 * i + 1] : grey;
        table[4 * i + 2] = palette != nullptr ? palette[3 * i] : grey;
    }
    image::ipointer index(&img, 0, 0);
    bmp_header header;
    header.bitCount = 8;
    header.clrUsed = kBmpMaxColours;
    return writeFile(path, img, header, table, sizeof table, width, img.GetHeight(),
                     m_storeProgress, why, [&](int y, unsigned char* out) {
                         index = y * width;
                         std::memcpy(out, index.GetPtr(), static_cast<std::size_t>(width));
                     });
}

}  // namespace tarvel
