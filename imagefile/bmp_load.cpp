// Reading uncompressed 24-bit and 8-bit BMP files into paged images.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "imagefile/bgr_rows.h"
#include "imagefile/bmp_header.h"
#include "imagefile/imagefile.h"
#include "module/module.h"

namespace tarvel {

namespace {

// Opens `path`, reads its headers and checks them as an uncompressed 8- or
// 24-bit file whose pixel data lies wholly inside the file. Leaves the stream
// at the colour table. Null, with the reason in why, when the file is refused.
bmp_file openChecked(const char* path, bmp_header& header, bmp_layout& layout, std::string& why) {
    bmp_file file(std::fopen(path, "rb"));
    if (!file) {
        why = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    if (!header.read(file.get(), why) ||
        !bmpCheckLayout(header, bmpFileBytes(file.get()), layout, why)) {
        return nullptr;
    }
    return file;
}

// Starts a phase of one step per row, described by the module's text for BMP rows.
void startRows(KORBAS::IProgressWork* progress, int rows) {
    if (progress == nullptr) return;
    progress->SetTotal(rows);
    progress->SetText(LoadResourceText(kBmpRowsText).c_str());
}

// Image row that file row r fills.
int imageRow(const bmp_layout& layout, int r) {
    return layout.topDown ? r : layout.height - 1 - r;
}

// Reads the pixel rows a band at a time into `band` (bmpBandRows rows) and
// hands each file row to putRow(imageRow, bytes). False if the file ends early.
template <class PutRow>
bool readRows(std::FILE* file, const bmp_layout& layout, unsigned char* band,
              KORBAS::IProgressWork* progress, PutRow putRow) {
    const std::size_t bandRows = bmpBandRows(layout.rowBytes);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.rowBytes);
    for (int r = 0; r < layout.height;) {
        const std::size_t rows = std::min(bandRows, static_cast<std::size_t>(layout.height - r));
        if (std::fread(band, rowBytes, rows, file) != rows) return false;
        for (std::size_t i = 0; i < rows; ++i, ++r) {
            putRow(imageRow(layout, r), band + i * rowBytes);
            if (progress != nullptr) progress->Advance(1);
        }
    }
    return true;
}

// Reads 24-bit pixel rows into channels 0 (red), 1 (green), 2 (blue).
bool readRows24(std::FILE* file, image& img, const bmp_layout& layout, unsigned char* band,
                KORBAS::IProgressWork* progress) {
    image::pointer red(&img, 0, 0);
    image::pointer green(&img, 1, 0);
    image::pointer blue(&img, 2, 0);
    const int width = layout.width;
    return readRows(file, layout, band, progress, [&](int y, const unsigned char* s) {
        red = y * width;
        green = y * width;
        blue = y * width;
        // A page holds whole rows, so the row is contiguous in each pinned page.
        DeinterleaveBgr(s, red.GetPtr(), green.GetPtr(), blue.GetPtr(), width);
    });
}

// Reads 8-bit index rows into channel 0.
bool readRows8(std::FILE* file, image& img, const bmp_layout& layout, unsigned char* band,
               KORBAS::IProgressWork* progress) {
    image::pointer index(&img, 0, 0);
    const int width = layout.width;
    return readRows(file, layout, band, progress, [&](int y, const unsigned char* s) {
        index = y * width;
        std::memcpy(index.GetPtr(), s, static_cast<std::size_t>(width));
    });
}

// A band buffer for the layout's rows; null when memory runs out.
std::unique_ptr<unsigned char[]> newBand(const bmp_layout& layout) {
    return std::unique_ptr<unsigned char[]>(
        new (std::nothrow) unsigned char[bmpBandRows(layout.rowBytes) * layout.rowBytes]);
}

const char* const kCutShort = "the file ended early (did it change while it was read?)";

}  // namespace

bool CImageFileFormat_bmp::Load(image& img, const char* path, const char*,
                                KORBAS::IProgressWork* progress) {
    m_error.clear();
    bmp_header header;
    bmp_layout layout;
    std::string why;
    if (!openChecked(path, header, layout, why)) return fail(path, why);
    m_target = &img;
    const bool ok = header.bitCount == 24 ? load24(path, progress) : load8(path, progress);
    m_target = nullptr;
    return ok;
}

bool CImageFileFormat_bmp::load24(const char* path, KORBAS::IProgressWork* progress) {
    bmp_header header;
    bmp_layout layout;
    std::string why;
    bmp_file file = openChecked(path, header, layout, why);
    if (!file) return fail(path, why);
    if (header.bitCount != 24) return fail(path, "the file changed while it was read");
    if (std::fseek(file.get(), static_cast<long>(layout.dataStart), SEEK_SET) != 0)
        return fail(path, "cannot seek to the pixels");
    if (!m_target->Create(3, layout.width, layout.height, 0))
        return fail(path, "the paged image cannot be created at the picture's size");
    std::unique_ptr<unsigned char[]> band = newBand(layout);
    startRows(progress, layout.height);
    if (!band || !readRows24(file.get(), *m_target, layout, band.get(), progress)) {
        m_target->Destroy();
        return fail(path, band ? kCutShort : "out of memory for a band of rows");
    }
    return true;
}

bool CImageFileFormat_bmp::load8(const char* path, KORBAS::IProgressWork* progress) {
    bmp_header header;
    bmp_layout layout;
    std::string why;
    bmp_file file = openChecked(path, header, layout, why);
    if (!file) return fail(path, why);
    if (header.bitCount != 8) return fail(path, "the file changed while it was read");
    if (!m_target->Create(2, layout.width, layout.height, 0))
        return fail(path, "the paged image cannot be created at the picture's size");
    // The table follows the information header: 3 bytes an entry after an
    // OS/2 1.x header, 4 otherwise, blue first.
    const unsigned entry = header.colourEntryBytes();
    const std::size_t tableBytes = entry * static_cast<std::size_t>(layout.colours);
    std::unique_ptr<unsigned char[]> table(new (std::nothrow) unsigned char[tableBytes]);
    if (!table || std::fread(table.get(), 1, tableBytes, file.get()) != tableBytes ||
        std::fseek(file.get(), static_cast<long>(layout.dataStart), SEEK_SET) != 0) {
        m_target->Destroy();
        return fail(path, table ? kCutShort : "out of memory for the colour table");
    }
    unsigned char* palette = m_target->GetPalette();
    std::memset(palette, 0, kPaletteBytes);
    for (int i = 0; i < layout.colours; ++i) {
        const unsigned char* bgr = table.get() + entry * i;
        palette[3 * i] = bgr[2];
        palette[3 * i + 1] = bgr[1];
        palette[3 * i + 2] = bgr[0];
    }
    std::unique_ptr<unsigned char[]> band = newBand(layout);
    startRows(progress, layout.height);
    if (!band || !readRows8(file.get(), *m_target, layout, band.get(), progress)) {
        m_target->Destroy();
        return fail(path, band ? kCutShort : "out of memory for a band of rows");
    }
    return true;
}

}  // namespace tarvel
