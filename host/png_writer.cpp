// CPngWriter: a PNG file written from streamed DIB rows through libpng, under an
// exclusive temporary name until it is complete (platform/output_file.h).
#include "host/png_writer.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "platform/output_file.h"

namespace KORBAS {

struct CPngWriter::state {
    std::string target;
    tarvel::output_file file;  // abandoned, so removed, unless Finish commits it
    png_structp png = nullptr;
    png_infop info = nullptr;
    int height = 0;
    int written = 0;
    char message[256] = {};  // libpng's reason for its last error

    ~state() {
        if (png) png_destroy_write_struct(&png, &info);
    }
};

namespace {

void on_error(png_structp png, png_const_charp message) {
    auto* text = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(text, 256, "%s", message ? message : "libpng error");
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

bool is_grey_ramp(const RGBQUAD* table, int colours) {
    if (colours != 256) return false;
    for (int i = 0; i < 256; ++i) {
        if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
    }
    return true;
}

// Writes the header; libpng longjmps out of it on failure, so nothing with a
// destructor lives here.
bool write_header(png_structp png, png_infop info, std::FILE* file, int width, int height,
                  int bitCount, const RGBQUAD* table, int colours, int level) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    int type = PNG_COLOR_TYPE_RGB;
    if (bitCount == 8)
        type = is_grey_ramp(table, colours) ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_color entries[256];
        for (int i = 0; i < colours; ++i)
            entries[i] = png_color{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
        png_set_PLTE(png, info, entries, colours);
    }
    png_set_compression_level(png, level);
    // At the fast levels one cheap filter; adaptive filtering tries all five
    // on every row, which costs more than the fast deflate itself.
    png_set_filter(png, PNG_FILTER_TYPE_BASE,
                   level <= kPngFastLevel ? PNG_FILTER_SUB : PNG_ALL_FILTERS);
    png_write_info(png, info);
    if (bitCount >= 24) png_set_bgr(png);
    if (bitCount == 32) png_set_filler(png, 0, PNG_FILLER_AFTER);
    return true;
}

bool write_rows(png_structp png, const unsigned char* rows, int count, std::ptrdiff_t stride) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int k = 0; k < count; ++k) png_write_row(png, const_cast<png_bytep>(rows + k * stride));
    return true;
}

bool write_end(png_structp png) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

CPngWriter::CPngWriter() = default;
CPngWriter::~CPngWriter() = default;

bool CPngWriter::fail(const std::string& reason) {
    m_error = reason;
    m_state.reset();
    return false;
}

bool CPngWriter::Open(const char* path, int width, int height, int bitCount, const RGBQUAD* table,
                      int colours, int level) {
    m_state.reset();
    m_error.clear();
    if (!path || !*path) return fail("no file name");
    if (width < 1 || height < 1) return fail("a PNG needs at least one pixel");
    if (bitCount != 8 && bitCount != 24 && bitCount != 32) return fail("rows of 8, 24 or 32 bits");
    if (bitCount == 8 && (!table || colours < 1 || colours > 256))
        return fail("8-bit rows need a colour table of 1 to 256 entries");
    if (level < 0 || level > 9) return fail("the compression level is 0 to 9");

    auto s = std::make_unique<state>();
    s->target = path;
    s->height = height;
    if (!s->file.Open(path)) return fail(std::string(path) + ": " + s->file.GetError());
    s->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, s->message, on_error, on_warning);
    s->info = s->png ? png_create_info_struct(s->png) : nullptr;
    m_state = std::move(s);
    if (!m_state->info) return fail("out of memory");
    if (!write_header(m_state->png, m_state->info, m_state->file.GetStream(), width, height,
                      bitCount, table, colours, level))
        return fail(std::string("cannot write the header: ") + m_state->message);
    return true;
}

bool CPngWriter::WriteRows(const unsigned char* rows, int count, std::ptrdiff_t stride) {
    if (!m_state) return fail(m_error.empty() ? "the file is not open" : m_error);
    if (count < 0 || count > m_state->height - m_state->written)
        return fail("more rows than the picture has");
    if (!write_rows(m_state->png, rows, count, stride))
        return fail(std::string("cannot write rows: ") + m_state->message);
    m_state->written += count;
    return true;
}

bool CPngWriter::Finish() {
    if (!m_state) return fail(m_error.empty() ? "the file is not open" : m_error);
    if (m_state->written != m_state->height) return fail("rows are missing");
    if (!write_end(m_state->png)) return fail(std::string("cannot write: ") + m_state->message);
    if (!m_state->file.Commit()) {
        const std::string target = m_state->target;
        return fail(target + ": " + m_state->file.GetError());
    }
    m_state.reset();
    return true;
}

}  // namespace KORBAS
