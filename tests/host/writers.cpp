// Test helpers: small image files written with the reference libraries.
#include "writers.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace tarvel_test {

namespace {

std::FILE* create(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    return f;
}

}  // namespace

void writePng(const std::string& path, int width, int height, int colourType, int depth,
              const bytes& samples, const bytes& palette, bool interlaced,
              const PngExtras& extras) {
    std::FILE* f = create(path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())  // png_color is three bytes: red, green, blue
        png_set_PLTE(png, info, reinterpret_cast<png_colorp>(const_cast<png_byte*>(palette.data())),
                     static_cast<int>(palette.size() / 3));
    if (!extras.transparency.empty())
        png_set_tRNS(png, info, extras.transparency.data(),
                     static_cast<int>(extras.transparency.size()), nullptr);
    if (!extras.transparentColour.empty()) {
        png_color_16 key{};
        const auto& k = extras.transparentColour;
        key.gray = static_cast<png_uint_16>(k[0]);
        if (k.size() == 3) {
            key.red = static_cast<png_uint_16>(k[0]);
            key.green = static_cast<png_uint_16>(k[1]);
            key.blue = static_cast<png_uint_16>(k[2]);
        }
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (!extras.profile.empty())
        png_set_iCCP(png, info, "test", 0, extras.profile.data(),
                     static_cast<png_uint_32>(extras.profile.size()));
    std::vector<png_bytep> rows;
    for (int y = 0; y < height; ++y)
        rows.push_back(const_cast<png_bytep>(&samples[y * (samples.size() / height)]));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

void writeJpeg(const std::string& path, int width, int height, int components, const bytes& samples,
               const bytes& app1, const bytes& profile) {
    std::FILE* f = create(path);
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
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!app1.empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
    if (!profile.empty())
        jpeg_write_icc_profile(&cinfo, profile.data(), static_cast<unsigned>(profile.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() +
                                            std::size_t(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
}

void writeTiff(const std::string& path, const TiffRecipe& s, const bytes& samples) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) throw std::runtime_error("cannot write " + path);
    for (auto field :
         {std::pair<ttag_t, int>{TIFFTAG_IMAGEWIDTH, s.width},
          {TIFFTAG_IMAGELENGTH, s.height},
          {TIFFTAG_SAMPLESPERPIXEL, s.samples},
          {TIFFTAG_BITSPERSAMPLE, s.bits},
          {TIFFTAG_SAMPLEFORMAT, s.sampleFormat},
          {TIFFTAG_PHOTOMETRIC, s.photometric},
          {TIFFTAG_PLANARCONFIG, s.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG},
          {TIFFTAG_COMPRESSION, s.compression}})
        TIFFSetField(tif, field.first, field.second);
    if (s.extraSample >= 0) {
        const std::uint16_t extra = static_cast<std::uint16_t>(s.extraSample);
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (s.orientation) TIFFSetField(tif, TIFFTAG_ORIENTATION, s.orientation);
    if (s.high > s.low) {
        TIFFSetField(tif, TIFFTAG_SMINSAMPLEVALUE, s.low);
        TIFFSetField(tif, TIFFTAG_SMAXSAMPLEVALUE, s.high);
    }
    if (!s.profile.empty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(s.profile.size()),
                     s.profile.data());
    const std::size_t rowBytes = std::size_t(s.samples) * s.width * s.bits / 8;
    if (s.planar) {  // one plane after the other, strips of 3 rows
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 3);
        bytes plane(std::size_t(s.width));
        for (int c = 0; c < s.samples; ++c) {
            for (int y = 0; y < s.height; ++y) {
                for (int x = 0; x < s.width; ++x)
                    plane[x] = samples[y * rowBytes + x * s.samples + c];
                TIFFWriteScanline(tif, plane.data(), y, static_cast<tsample_t>(c));
            }
        }
    } else if (s.tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, s.tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, s.tile);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 3);
        for (int y = 0; y < s.height; ++y)
            TIFFWriteScanline(tif, const_cast<std::uint8_t*>(&samples[y * rowBytes]), y, 0);
    }
    for (int y0 = 0; s.tile && !s.planar && y0 < s.height; y0 += s.tile) {
        for (int x0 = 0; x0 < s.width; x0 += s.tile) {
            bytes tile(std::size_t(s.samples) * s.tile * s.tile);  // zeros past the edges
            for (int r = 0; r < s.tile && y0 + r < s.height; ++r)
                std::memcpy(&tile[r * s.samples * s.tile],
                            &samples[(y0 + r) * rowBytes + x0 * s.samples],
                            std::size_t(s.samples) * std::min(s.tile, s.width - x0));
            TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0);
        }
    }
    TIFFClose(tif);
}

bytes picture(const KORBAS::CBitmapWindows& dib) {
    bytes out;
    const std::size_t rowBytes = (std::size_t(dib.getWidth()) * dib.getBPP() + 7) / 8;
    const unsigned char* row = dib.getBeginImage();
    for (unsigned y = 0; y < dib.getHeight(); ++y, row += dib.getScanLineOffset())
        out.insert(out.end(), row, row + rowBytes);
    return out;
}

}  // namespace tarvel_test
