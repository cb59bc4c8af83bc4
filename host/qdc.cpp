// QDC: a device context that owns a software surface, and its PNG export.
#include "host/qdc.h"

#include <csetjmp>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include <png.h>

#include "platform/output_file.h"
#include "platform/surface.h"

namespace {

// The colour of a new surface.
constexpr std::uint32_t kWhite = 0x00ffffff;

struct PngWriteFailure {
    std::jmp_buf jump;
};

void on_error(png_structp png, png_const_charp) {
    std::longjmp(static_cast<PngWriteFailure*>(png_get_error_ptr(png))->jump, 1);
}

void on_warning(png_structp, png_const_charp) {}

// Writes the surface as 8-bit RGB. Nothing with a destructor lives here: libpng
// longjmps out of any of its calls on failure.
bool write_png(std::FILE* file, const HDC__& surface, png_bytep row) {
    PngWriteFailure failure;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(failure.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(surface.width),
                 static_cast<png_uint_32>(surface.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::uint32_t* pixels = surface.pixels.data();
    for (int y = 0; y < surface.height; ++y) {
        for (int x = 0; x < surface.width; ++x) {
            const std::uint32_t p = *pixels++;
            row[3 * x] = static_cast<png_byte>(p >> 16);
            row[3 * x + 1] = static_cast<png_byte>(p >> 8);
            row[3 * x + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

QDC::QDC(int width, int height) : m_hDC(nullptr) {
    if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMaxSurfacePixels)
        throw std::invalid_argument("QDC: surface size out of range");
    m_hDC = new HDC__;
    m_hDC->width = width;
    m_hDC->height = height;
    m_hDC->pixels.assign(static_cast<std::size_t>(width) * height, kWhite);
}

QDC::~QDC() {
    delete m_hDC;
}

int QDC::GetWidth() const {
    return m_hDC->width;
}

int QDC::GetHeight() const {
    return m_hDC->height;
}

std::uint32_t QDC::GetPixel(int x, int y) const {
    return m_hDC->pixels[static_cast<std::size_t>(y) * m_hDC->width + x];
}

const std::uint32_t* QDC::GetPixels() const {
    return m_hDC->pixels.data();
}

void QDC::Clear(std::uint32_t colour) {
    m_hDC->pixels.assign(m_hDC->pixels.size(), colour);
}

// Written to an exclusive temporary file beside the target, then renamed over
// it (platform/output_file.h), so that a failure never leaves a partial file
// under the name asked for.
bool QDC::SaveAsPNG(const char* path) const {
    tarvel::output_file out;
    if (!out.Open(path)) return false;
    std::vector<png_byte> row(static_cast<std::size_t>(m_hDC->width) * 3);
    if (!write_png(out.GetStream(), *m_hDC, row.data())) return false;
    return out.Commit();
}
