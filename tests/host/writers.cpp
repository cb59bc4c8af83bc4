// Test helpers: small image files written with the reference libraries.
#include "writers.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace hosttest {

void writePng(const std::string& path, int width, int height, int colourType, int depth,
              const Bytes& samples, const Bytes& palette, bool interlaced) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> entries;
    for (std::size_t i = 0; i + 2 < palette.size(); i += 3)
        entries.push_back(png_color{palette[i], palette[i + 1], palette[i + 2]});
    if (!entries.empty()) png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
    png_write_info(png, info);
    const std::size_t rowBytes = samples.size() / height;
    std::vector<png_bytep> rows(height);
    for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(samples.data() + y * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

void writeJpeg(const std::string& path, int width, int height, int components, const Bytes& samples,
               int quality) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() +
                                            std::size_t(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
}

void writeTiff(const std::string& path, const TiffRecipe& s, const Bytes& samples) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) throw std::runtime_error("cannot write " + path);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, s.compression);
    if (s.alpha) {
        std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (!s.colourMap.empty()) {
        const std::size_t n = s.colourMap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, s.colourMap.data(), s.colourMap.data() + n,
                     s.colourMap.data() + 2 * n);
    }
    const std::size_t rowBytes = (std::size_t(s.width) * s.samples * s.bits + 7) / 8;
    if (s.tileWidth) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, s.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, s.tileHeight);
        const std::size_t tileRow = (std::size_t(s.tileWidth) * s.samples * s.bits + 7) / 8;
        Bytes tile(tileRow * s.tileHeight);
        for (int y0 = 0; y0 < s.height; y0 += s.tileHeight) {
            for (int x0 = 0; x0 < s.width; x0 += s.tileWidth) {
                std::fill(tile.begin(), tile.end(), 0);
                const std::size_t offset = std::size_t(x0) * s.samples * s.bits / 8;
                for (int r = 0; r < s.tileHeight && y0 + r < s.height; ++r) {
                    const std::size_t n = std::min(tileRow, rowBytes - offset);
                    std::memcpy(tile.data() + r * tileRow,
                                samples.data() + (y0 + r) * rowBytes + offset, n);
                }
                TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0);
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, s.rowsPerStrip);
        for (int y = 0; y < s.height; ++y)
            TIFFWriteScanline(tif, const_cast<unsigned char*>(samples.data() + y * rowBytes), y, 0);
    }
    TIFFClose(tif);
}

Bytes picture(const KORBAS::CBitmapWindows& dib) {
    Bytes out;
    const std::size_t rowBytes = (std::size_t(dib.getWidth()) * dib.getBPP() + 7) / 8;
    const unsigned char* row = dib.getBeginImage();
    for (unsigned y = 0; y < dib.getHeight(); ++y, row += dib.getScanLineOffset())
        out.insert(out.end(), row, row + rowBytes);
    return out;
}

Bytes readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarvel-host-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

ScratchDir::~ScratchDir() {
    if (DIR* d = opendir(m_path.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                unlink((m_path + "/" + e->d_name).c_str());
        }
        closedir(d);
    }
    rmdir(m_path.c_str());
}

}  // namespace hosttest
