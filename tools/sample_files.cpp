// The sample picture streamed into JPEG, PNG and TIFF (strips or tiles, any
// compression libtiff has, BigTIFF when large) files.
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "tools/sample_picture.h"

namespace tarvel_cli {

namespace {

// Pixel bytes up to which a TIFF is a classic one (32-bit offsets, with room
// for the strip or tile tables); larger ones are written as BigTIFF.
constexpr long long kClassicTiffBytes = 3500000000LL;
// JPEG quality of the sample, also inside TIFF: high enough that the fine
// texture survives.
constexpr int kJpegQuality = 90;

// libjpeg and libpng report errors through callbacks that must not return.
struct jpeg_failure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpeg_fail(j_common_ptr info) {
    auto* failure = reinterpret_cast<jpeg_failure*>(info->err);
    (*info->err->format_message)(info, failure->message);
    std::longjmp(failure->jump, 1);
}

struct png_failure {
    std::jmp_buf jump;
    char message[256];
};

void png_fail(png_structp png, png_const_charp message) {
    auto* failure = static_cast<png_failure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    std::longjmp(failure->jump, 1);
}

}  // namespace

bool write_jpeg(const sample_picture& picture, std::FILE* file, std::string& error) {
    jpeg_compress_struct info;
    jpeg_failure failure;
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = jpeg_fail;
    std::vector<unsigned char> row(static_cast<size_t>(picture.width()) * 3);
    if (setjmp(failure.jump) != 0) {
        error = failure.message;
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(picture.width());
    info.image_height = static_cast<JDIMENSION>(picture.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < picture.height(); ++y) {
        picture.row(y, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

bool write_png(const sample_picture& picture, std::FILE* file, std::string& error) {
    png_failure failure;
    failure.message[0] = '\0';
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, png_fail, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(static_cast<size_t>(picture.width()) * 3);
    if (info == nullptr || setjmp(failure.jump) != 0) {
        error = failure.message[0] ? failure.message : "out of memory";
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width()),
                 static_cast<png_uint_32>(picture.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height(); ++y) {
        picture.row(y, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool write_tiff(const sample_picture& picture, const std::string& path, const tiff_layout& layout,
                std::string& error) {
    const std::uint32_t width = static_cast<std::uint32_t>(picture.width());
    const std::uint32_t height = static_cast<std::uint32_t>(picture.height());
    const bool big = 3LL * width * height > kClassicTiffBytes;
    TIFF* tif = TIFFOpen(path.c_str(), big ? "w8" : "w");
    if (tif == nullptr) {
        error = "cannot create the TIFF file";
        return false;
    }
    const bool jpeg = layout.compression == COMPRESSION_JPEG;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.compression);
    // JPEG inside TIFF as cameras and scanners write it: YCbCr, 2 x 2 chroma,
    // libjpeg converting from RGB.
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, jpeg ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB);
    if (jpeg) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, kJpegQuality);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    bool ok = true;
    if (layout.tile == 0) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
        std::vector<unsigned char> row(rowBytes);
        for (std::uint32_t y = 0; y < height && ok; ++y) {
            picture.row(static_cast<int>(y), row.data());
            ok = TIFFWriteScanline(tif, row.data(), y, 0) == 1;
        }
    } else {
        // A row of tiles at a time: tile-side rows of the picture in memory.
        const std::uint32_t side = static_cast<std::uint32_t>(layout.tile);
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, side);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, side);
        std::vector<unsigned char> band(rowBytes * side);
        std::vector<unsigned char> tile(static_cast<std::size_t>(side) * side * 3);
        for (std::uint32_t y0 = 0; y0 < height && ok; y0 += side) {
            const std::uint32_t rows = std::min(side, height - y0);
            for (std::uint32_t r = 0; r < rows; ++r)
                picture.row(static_cast<int>(y0 + r), band.data() + r * rowBytes);
            for (std::uint32_t x0 = 0; x0 < width && ok; x0 += side) {
                // Pixels past the picture's edge repeat its last column and row.
                const std::uint32_t cols = std::min(side, width - x0);
                for (std::uint32_t r = 0; r < side; ++r) {
                    const unsigned char* from = band.data() + std::min(r, rows - 1) * rowBytes;
                    unsigned char* to = tile.data() + static_cast<std::size_t>(r) * side * 3;
                    std::memcpy(to, from + x0 * 3, cols * 3);
                    for (std::uint32_t c = cols; c < side; ++c)
                        std::memcpy(to + c * 3, to + (cols - 1) * 3, 3);
                }
                ok = TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0) >= 0;
            }
        }
    }
    // Closing writes the directory: a failure there is a failed file too.
    ok = TIFFFlush(tif) == 1 && ok;
    TIFFClose(tif);
    if (!ok) error = "cannot write the TIFF file";
    return ok;
}

}  // namespace tarvel_cli
