// JPEG and PNG encoders writing into memory, with the libraries' errors caught.
#include "server/encode.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace tarvel {
namespace server {

namespace {

// PNG tiles favour speed: level 2 compresses map-like pictures nearly as well
// as the default level 6 in a fraction of the time.
constexpr int kPngCompressionLevel = 2;

struct jpeg_failure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jpeg_fail(j_common_ptr info) {
    auto* failure = reinterpret_cast<jpeg_failure*>(info->err);
    info->err->format_message(info, failure->message);
    std::longjmp(failure->jump, 1);
}

void png_fail(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void png_append(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), length);
}

void png_no_flush(png_structp) {}

}  // namespace

bool EncodeJpeg(const raster& r, int quality, std::string& out, std::string& error) {
    jpeg_compress_struct info{};
    jpeg_failure failure{};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = jpeg_fail;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    // Nothing below the jump point lives on the stack with a destructor.
    if (setjmp(failure.jump) != 0) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        error = failure.message;
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(r.width);
    info.image_height = static_cast<JDIMENSION>(r.height);
    info.input_components = r.channels;
    info.in_color_space = r.channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, true);
    jpeg_start_compress(&info, true);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(r.Row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    out.append(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return true;
}

bool EncodePng(const raster& r, std::string& out, std::string& error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, png_fail, nullptr);
    if (png == nullptr) {
        error = "cannot start the PNG encoder";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        if (error.empty()) error = "cannot start the PNG encoder";
        return false;
    }
    png_set_write_fn(png, &out, png_append, png_no_flush);
    png_set_compression_level(png, kPngCompressionLevel);
    png_set_IHDR(png, info, static_cast<png_uint_32>(r.width), static_cast<png_uint_32>(r.height),
                 8, r.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < r.height; ++y) png_write_row(png, r.Row(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace server
}  // namespace tarvel
