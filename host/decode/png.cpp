// PNG decoding through libpng: grey and palette to 8 bits with a colour table,
// colour to 24 bits, colour or grey with alpha (or a transparent colour) to 32
// with straight alpha; 16-bit samples rounded to 8; the iCCP profile passed on.
//
// libpng reports fatal errors through a callback that longjmps back to
// guarded(); no object with a destructor lives in the frames it crosses.
#include <csetjmp>
#include <cstdio>
#include <string>

#include <png.h>

#include "host/decode/decoders.h"

namespace KORBAS {
namespace decode {

namespace {

// Ancillary chunks (text, profiles) are not needed to show the picture;
// larger ones are refused instead of buffered.
constexpr png_alloc_size_t kPngChunkLimit = 16u << 20;

struct PngFailure {
    std::jmp_buf jump;
    char message[256];
};

void on_error(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    std::longjmp(failure->jump, 1);
}

void on_warning(png_structp, png_const_charp) {}

// Everything after the jump is set: may longjmp out at any call into libpng.
bool decode_body(png_structp png, png_infop info, std::FILE* file, RowSink& sink) {
    png_init_io(png, file);
    png_set_chunk_malloc_max(png, kPngChunkLimit);
#ifdef PNG_IGNORE_ADLER32
    // Every IDAT chunk's CRC already guards the compressed bytes; zlib's own
    // checksum of the inflated stream would add a pass over every row.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);

    int bits = 24;
    unsigned colours = 0;
    png_colorp palette = nullptr;
    int paletteSize = 0;
    if (depth == 16) png_set_scale_16(png);
    // A transparent colour (tRNS) of a grey or colour picture becomes alpha;
    // a palette's transparency goes with its entries.
    png_bytep entryAlpha = nullptr;
    int transparent = 0;
    const bool keyed = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (keyed && colour == PNG_COLOR_TYPE_PALETTE) {
        png_get_tRNS(png, info, &entryAlpha, &transparent, nullptr);
    } else if (keyed) {
        png_set_tRNS_to_alpha(png);
        colour =
            colour == PNG_COLOR_TYPE_GRAY ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_RGB_ALPHA;
        if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    }
    switch (colour) {
        case PNG_COLOR_TYPE_PALETTE:
            if (!png_get_PLTE(png, info, &palette, &paletteSize) || paletteSize < 1)
                png_error(png, "palette image without a palette");
            png_set_packing(png);
            bits = 8;
            colours = static_cast<unsigned>(paletteSize);
            break;
        case PNG_COLOR_TYPE_GRAY:
            if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
            bits = 8;
            colours = 256;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            png_set_gray_to_rgb(png);
            png_set_bgr(png);
            bits = 32;
            break;
        case PNG_COLOR_TYPE_RGB:
            png_set_bgr(png);
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            png_set_bgr(png);
            bits = 32;
            break;
        default:
            png_error(png, "unknown colour type");
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * (bits / 8))
        png_error(png, "unexpected row layout after conversion");

    PictureLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bitCount = bits;
    layout.colours = colours;
    layout.inOrder = passes == 1;
    if (bits == 32 || transparent > 0) layout.alpha = Alpha::straight;
    png_charp profileName = nullptr;
    int profileCompression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileBytes = 0;
    if (png_get_iCCP(png, info, &profileName, &profileCompression, &profile, &profileBytes)) {
        layout.profile = profile;
        layout.profileBytes = profileBytes;
    }
    for (int pass = 0; passes > 1 && pass < passes; ++pass) {
        if (PNG_PASS_COLS(width, pass) != 0) layout.deliveries += PNG_PASS_ROWS(height, pass);
    }
    if (!sink.start(layout)) return false;
    if (colour == PNG_COLOR_TYPE_GRAY) SetGreyColours(sink.colours(), colours);
    if (palette) {
        RGBQUAD* table = sink.colours();
        for (int i = 0; i < paletteSize; ++i) {
            const BYTE alpha = i < transparent ? entryAlpha[i] : 255;
            table[i] = RGBQUAD{palette[i].blue, palette[i].green, palette[i].red, alpha};
        }
    }
    if (!sink.wantsPixels()) return true;

    for (int pass = 0; pass < passes; ++pass) {
        // Rows without pixels in this pass are passed to libpng without room,
        // so that the sink sees only rows that change.
        const bool columns = passes == 1 || PNG_PASS_COLS(width, pass) != 0;
        for (png_uint_32 y = 0; y < height; ++y) {
            if (passes > 1 && (!columns || !PNG_ROW_IN_INTERLACE_PASS(y, pass))) {
                png_read_row(png, nullptr, nullptr);
                continue;
            }
            png_read_row(png, sink.row(y), nullptr);
            if (!sink.put(y)) return false;
        }
    }
    png_read_end(png, nullptr);
    return true;
}

bool guarded(std::FILE* file, RowSink& sink, PngFailure& failure) {
    failure.message[0] = '\0';
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::snprintf(failure.message, sizeof failure.message, "out of memory");
        return false;
    }
    if (setjmp(failure.jump)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const bool ok = decode_body(png, info, file, sink);
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

}  // namespace

void decodePng(std::FILE* file, RowSink& sink) {
    PngFailure failure;
    if (guarded(file, sink, failure)) return;
    if (failure.message[0]) throw DecodeError(std::string("PNG: ") + failure.message);
    throw DecodeError(sink.reason());
}

}  // namespace decode
}  // namespace KORBAS
