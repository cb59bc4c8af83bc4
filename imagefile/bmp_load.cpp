// Reading uncompressed 24-bit and 8-bit BMP files into paged images.
#include <cstring>
#include <memory>
#include <new>

#include "imagefile/bmp_header.h"
#include "imagefile/imagefile.h"
#include "module/module.h"

namespace tarvel {

namespace {

// Opens `path`, reads its header and checks it as a plain file of `bits` bits
// per pixel whose pixel data lies wholly inside the file. Leaves the stream at
// the first byte after the 54 header bytes. Null when the file is refused.
bmp_file openChecked(const char* path, int bits, bmp_header& header, bmp_layout& layout) {
    bmp_file file(std::fopen(path, "rb"));
    if (!file) return nullptr;
    std::setvbuf(file.get(), nullptr, _IOFBF, kBmpStreamBuffer);
    if (!header.read(file.get()) || !header.isPlain(bits) ||
        !bmpCheckLayout(header, bmpFileBytes(file.get()), layout)) {
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

// Reads the 24-bit pixel rows into channels 0 (red), 1 (green), 2 (blue).
// False if the file ends early.
bool readRows24(std::FILE* file, image& img, const bmp_layout& layout, unsigned char* row,
                KORBAS::IProgressWork* progress) {
    image::pointer red(&img, 0, 0);
    image::pointer green(&img, 1, 0);
    image::pointer blue(&img, 2, 0);
    const int width = layout.width;
    for (int r = 0; r < layout.height; ++r) {
        if (std::fread(row, 1, layout.rowBytes, file) != layout.rowBytes) return false;
        const int offset = imageRow(layout, r) * width;
        red = offset;
        green = offset;
        blue = offset;
        // A page holds whole rows, so the row is contiguous in each pinned page.
        unsigned char* rp = red.GetPtr();
        unsigned char* gp = green.GetPtr();
        unsigned char* bp = blue.GetPtr();
        const unsigned char* s = row;
        for (int x = 0; x < width; ++x, s += 3) {
            bp[x] = s[0];
            gp[x] = s[1];
            rp[x] = s[2];
        }
        if (progress != nullptr) progress->Advance(1);
    }
    return true;
}

// Reads the 8-bit index rows straight into channel 0. False if the file ends early.
bool readRows8(std::FILE* file, image& img, const bmp_layout& layout,
               KORBAS::IProgressWork* progress) {
    image::pointer index(&img, 0, 0);
    const std::size_t width = static_cast<std::size_t>(layout.width);
    const std::uint64_t padding = layout.rowBytes - width;
    for (int r = 0; r < layout.height; ++r) {
        index = imageRow(layout, r) * layout.width;
        if (std::fread(index.GetPtr(), 1, width, file) != width) return false;
        for (std::uint64_t i = 0; i < padding; ++i) {
            if (std::fgetc(file) == EOF) return false;
        }
        if (progress != nullptr) progress->Advance(1);
    }
    return true;
}

}  // namespace

bool CImageFileFormat_bmp::Load(image& img, const char* path, const char*,
                                KORBAS::IProgressWork* progress) {
    bmp_header header;
    {
        bmp_file file(std::fopen(path, "rb"));
        if (!file || !header.read(file.get())) return false;
    }
    if (header.type != kBmpMagic || header.planes != 1 || header.compression != 0) return false;
    m_target = &img;
    bool ok = false;
    if (header.bitCount == 24)
        ok = load24(path, progress);
    else if (header.bitCount == 8)
        ok = load8(path, progress);
    m_target = nullptr;
    return ok;
}

bool CImageFileFormat_bmp::load24(const char* path, KORBAS::IProgressWork* progress) {
    bmp_header header;
    bmp_layout layout;
    bmp_file file = openChecked(path, 24, header, layout);
    if (!file) return false;
    // The pixel data may start after further header bytes.
    for (std::uint64_t at = kBmpHeaderBytes; at < layout.dataStart; ++at) {
        if (std::fgetc(file.get()) == EOF) return false;
    }
    if (!m_target->Create(3, layout.width, layout.height, 0)) return false;
    std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[layout.rowBytes]);
    startRows(progress, layout.height);
    if (!row || !readRows24(file.get(), *m_target, layout, row.get(), progress)) {
        m_target->Destroy();
        return false;
    }
    return true;
}

bool CImageFileFormat_bmp::load8(const char* path, KORBAS::IProgressWork* progress) {
    bmp_header header;
    bmp_layout layout;
    bmp_file file = openChecked(path, 8, header, layout);
    if (!file) return false;
    if (!m_target->Create(2, layout.width, layout.height, 0)) return false;
    std::unique_ptr<unsigned char[]> table(new (std::nothrow) unsigned char[kBmpColourTableBytes]);
    const std::size_t tableBytes = 4 * static_cast<std::size_t>(layout.colours);
    if (!table || std::fread(table.get(), 1, tableBytes, file.get()) != tableBytes) {
        m_target->Destroy();
        return false;
    }
    unsigned char* palette = m_target->GetPalette();
    std::memset(palette, 0, kPaletteBytes);
    for (int i = 0; i < layout.colours; ++i) {
        palette[3 * i] = table[4 * i + 2];
        palette[3 * i + 1] = table[4 * i + 1];
        palette[3 * i + 2] = table[4 * i];
    }
    startRows(progress, layout.height);
    if (!readRows8(file.get(), *m_target, layout, progress)) {
        m_target->Destroy();
        return false;
    }
    return true;
}

}  // namespace tarvel
