// JPEG decoding through libjpeg-turbo: grey to 8 bits, colour and CMYK to 24,
// turned as the EXIF orientation says, with the ICC profile passed on (a
// CMYK profile converts CMYK pictures here).
//
// libjpeg reports fatal errors through a callback that must not return; it
// longjmps back to guarded(). No object with a destructor lives in the
// frames that longjmp crosses: the error text is kept in a plain buffer and
// the exception is thrown only after libjpeg has been torn down.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <string>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <jerror.h>
#include <lcms2.h>
#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>

#include "host/bitmap.h"
#include "host/decode/decoders.h"
#include "host/decode/shown_rows.h"

namespace KORBAS {
namespace decode {

namespace {

// Coefficient buffers of progressive files may take up to twice the decoded
// picture (16-bit coefficients), plus some tables: libjpeg may use this many
// times the decoding limit before it refuses the file.
constexpr long kJpegMemoryFactor = 2;
constexpr long kJpegMemorySlack = 64L << 20;

// Markers kept while the header is read: EXIF (APP1) and ICC profiles (APP2).
constexpr int kExifMarker = JPEG_APP0 + 1;
constexpr int kIccMarker = JPEG_APP0 + 2;
constexpr unsigned kMarkerBytes = 0xffff;

struct JpegFailure {
    jpeg_error_mgr manager;  // first, so that the error pointer converts
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // Held across libjpeg calls, so released by guarded() whichever way it ends.
    JOCTET* profile = nullptr;
    cmsHTRANSFORM cmykTransform = nullptr;
};

// The orientation in the EXIF block of an APP1 marker; normal without one.
Orientation exif_orientation(const jpeg_decompress_struct& cinfo) {
    static const unsigned char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker != kExifMarker || m->data_length < sizeof kExifHeader ||
            std::memcmp(m->data, kExifHeader, sizeof kExifHeader) != 0)
            continue;
        ExifData* exif = exif_data_new_from_data(m->data, m->data_length);
        if (exif == nullptr) continue;
        unsigned value = 1;
        ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
        if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
            entry->size >= 2)
            value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        exif_data_unref(exif);
        if (value >= 1 && value <= 8) return static_cast<Orientation>(value);
    }
    return Orientation::normal;
}

void on_error(j_common_ptr cinfo) {
    auto* failure = reinterpret_cast<JpegFailure*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, failure->message);
    std::longjmp(failure->jump, 1);
}

// Warnings are ignored, except that a file ending early is an error: libjpeg
// would fill the missing rows with grey and report success.
void on_message(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) on_error(cinfo);
}

// CMYK (Adobe files store it inverted) to blue, green, red.
void cmyk_to_bgr(const JSAMPLE* src, JDIMENSION width, bool inverted, unsigned char* dst) {
    for (JDIMENSION x = 0; x < width; ++x, src += 4, dst += 3) {
        unsigned c = src[0], m = src[1], y = src[2], k = src[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        dst[0] = static_cast<unsigned char>((y * k + 127) / 255);
        dst[1] = static_cast<unsigned char>((m * k + 127) / 255);
        dst[2] = static_cast<unsigned char>((c * k + 127) / 255);
    }
}

// A transform of CMYK samples (inverted as Adobe stores them, or not) to blue,
// green, red through a CMYK profile; null for any other profile.
cmsHTRANSFORM cmyk_transform(const JOCTET* profile, unsigned int bytes, bool inverted) {
    cmsHPROFILE in = cmsOpenProfileFromMem(profile, bytes);
    if (in == nullptr) return nullptr;
    cmsHTRANSFORM transform = nullptr;
    if (cmsGetColorSpace(in) == cmsSigCmykData) {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        transform = cmsCreateTransform(in, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb,
                                       TYPE_BGR_8, kShownIntent, 0);
        cmsCloseProfile(srgb);
    }
    cmsCloseProfile(in);
    return transform;
}

void release(JpegFailure& failure) {
    std::free(failure.profile);
    failure.profile = nullptr;
    if (failure.cmykTransform) cmsDeleteTransform(failure.cmykTransform);
    failure.cmykTransform = nullptr;
}

// Everything after the jump is set: may longjmp out at any call into libjpeg.
// Returns false when the sink refused the picture or stopped.
bool decode_body(jpeg_decompress_struct& cinfo, std::FILE* file, RowSink& sink) {
    const unsigned long long budget =
        static_cast<unsigned long long>(CBitmapWindows::GetDecodeLimit()) * kJpegMemoryFactor +
        kJpegMemorySlack;
    cinfo.mem->max_memory_to_use = static_cast<long>(budget);
    jpeg_stdio_src(&cinfo, file);
    jpeg_save_markers(&cinfo, kExifMarker, kMarkerBytes);
    jpeg_save_markers(&cinfo, kIccMarker, kMarkerBytes);
    jpeg_read_header(&cinfo, TRUE);

    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR;
    PictureLayout layout;
    layout.width = cinfo.image_width;
    layout.height = cinfo.image_height;
    layout.bitCount = grey ? 8 : 24;
    layout.colours = grey ? 256 : 0;
    layout.orientation = exif_orientation(cinfo);
    unsigned int profileBytes = 0;
    JpegFailure& failure = *reinterpret_cast<JpegFailure*>(cinfo.err);
    if (jpeg_read_icc_profile(&cinfo, &failure.profile, &profileBytes)) {
        if (cmyk) {
            // CMYK is converted here, through its profile when it has one.
            failure.cmykTransform =
                cmyk_transform(failure.profile, profileBytes, cinfo.saw_Adobe_marker != 0);
        } else {
            layout.profile = failure.profile;
            layout.profileBytes = profileBytes;
        }
    }
    if (!sink.start(layout)) return false;
    if (grey) SetGreyColours(sink.colours(), layout.colours);
    if (!sink.wantsPixels()) return true;

    jpeg_start_decompress(&cinfo);
    JSAMPARRAY cmykRow = nullptr;
    if (cmyk)
        cmykRow = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                             cinfo.output_width * 4, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION y = cinfo.output_scanline;
        unsigned char* dst = sink.row(y);
        if (cmyk) {
            jpeg_read_scanlines(&cinfo, cmykRow, 1);
            if (failure.cmykTransform)
                cmsDoTransform(failure.cmykTransform, cmykRow[0], dst, cinfo.output_width);
            else
                cmyk_to_bgr(cmykRow[0], cinfo.output_width, cinfo.saw_Adobe_marker, dst);
        } else {
            JSAMPROW rows[1] = {dst};
            jpeg_read_scanlines(&cinfo, rows, 1);
        }
        if (!sink.put(y)) return false;
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

// Returns false with failure.message set (or empty when the sink refused).
bool guarded(std::FILE* file, RowSink& sink, JpegFailure& failure) {
    jpeg_decompress_struct cinfo{};
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = on_error;
    failure.manager.emit_message = on_message;
    failure.message[0] = '\0';
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&cinfo);
        release(failure);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    const bool ok = decode_body(cinfo, file, sink);
    jpeg_destroy_decompress(&cinfo);
    release(failure);
    return ok;
}

}  // namespace

void decodeJpeg(std::FILE* file, RowSink& sink) {
    JpegFailure failure;
    if (guarded(file, sink, failure)) return;
    if (failure.message[0]) throw DecodeError(std::string("JPEG: ") + failure.message);
    throw DecodeError(sink.reason());
}

}  // namespace decode
}  // namespace KORBAS
