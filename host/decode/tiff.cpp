// TIFF decoding through libtiff, strip by strip or tile by tile: grey and
// palette to 8 bits with a colour table, RGB and JPEG-compressed YCbCr to 24
// bits, RGBA to 32 (alpha associated or not), samples of any integer or
// floating-point format shown as SampleFormat says; every other kind (other
// YCbCr, CMYK, Lab, separate planes, ...) through libtiff's RGBA reader, whose
// alpha is premultiplied. Both paths hand rows over as stored with the
// Orientation tag, and the ICC profile, for the sink to apply.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <tiffio.h>

#include "host/decode/decoders.h"

namespace KORBAS {
namespace decode {

namespace {

// libtiff refuses any single allocation beyond this (strip and tile buffers,
// tag arrays): hostile headers cannot make it allocate more.
constexpr tmsize_t kTiffMaxAllocation = 256 << 20;

struct TiffFailure {
    char message[256] = {};
};

// The first error is the one that explains the failure; warnings are ignored.
int on_error(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* failure = static_cast<TiffFailure*>(user);
    if (!failure->message[0])
        std::vsnprintf(failure->message, sizeof failure->message, format, args);
    return 1;
}

int on_warning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

class TiffReader {
  public:
    TiffReader(TIFF* tif, TiffFailure& failure, RowSink& sink)
        : m_tif(tif), m_failure(failure), m_sink(sink) {}

    void run() {
        TIFFGetField(m_tif, TIFFTAG_IMAGEWIDTH, &m_width);
        TIFFGetField(m_tif, TIFFTAG_IMAGELENGTH, &m_height);
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_BITSPERSAMPLE, &m_bits);
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_SAMPLESPERPIXEL, &m_samples);
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_PLANARCONFIG, &m_planar);
        if (!TIFFGetField(m_tif, TIFFTAG_PHOTOMETRIC, &m_photometric))
            m_photometric = m_samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
        std::uint16_t extraCount = 0;
        std::uint16_t* extra = nullptr;
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
        m_alpha = extraCount > 0 && extra &&
                  (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
        m_premultiplied = m_alpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;
        m_tiled = TIFFIsTiled(m_tif) != 0;
        std::uint16_t orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_ORIENTATION, &orientation);
        if (orientation >= ORIENTATION_TOPLEFT && orientation <= ORIENTATION_LEFTBOT)
            m_orientation = static_cast<Orientation>(orientation);
        std::uint32_t profileBytes = 0;
        void* profile = nullptr;
        if (TIFFGetField(m_tif, TIFFTAG_ICCPROFILE, &profileBytes, &profile) && profile) {
            m_profile = static_cast<const unsigned char*>(profile);
            m_profileBytes = profileBytes;
        }
        readSampleFormat();
        if (classify())
            readDirect();
        else
            readRgba();
    }

  private:
    [[noreturn]] void failWith(const char* what) {
        std::string reason = std::string("TIFF: ") + what;
        if (m_failure.message[0]) reason += std::string(" (") + m_failure.message + ")";
        throw DecodeError(reason);
    }

    // Tiled files hand over a row of tiles at a time, strips a row at a time.
    void begin(int bits, unsigned colours, std::uint32_t bandRows, Alpha alpha = Alpha::none) {
        PictureLayout layout;
        layout.width = m_width;
        layout.height = m_height;
        layout.bitCount = bits;
        layout.colours = colours;
        layout.bandRows = bandRows;
        layout.orientation = m_orientation;
        layout.alpha = alpha;
        layout.profile = m_profile;
        layout.profileBytes = m_profileBytes;
        if (!m_sink.start(layout)) throw DecodeError(m_sink.reason());
        m_rowBytes = layout.rowBytes();
    }

    // SampleFormat, and the file's range of sample values for samples wider
    // than 8 bits, signed or floating.
    void readSampleFormat() {
        std::uint16_t format = SAMPLEFORMAT_UINT;
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_SAMPLEFORMAT, &format);
        m_format.bits = m_bits;
        m_format.kind = format == SAMPLEFORMAT_INT      ? SampleFormat::signedInt
                        : format == SAMPLEFORMAT_IEEEFP ? SampleFormat::floating
                                                        : SampleFormat::unsignedInt;
        m_formatKnown = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_INT ||
                        format == SAMPLEFORMAT_IEEEFP || format == SAMPLEFORMAT_VOID;
        double low = 0, high = 0;
        if ((m_bits > 8 || m_format.kind != SampleFormat::unsignedInt) &&
            TIFFGetField(m_tif, TIFFTAG_SMINSAMPLEVALUE, &low) &&
            TIFFGetField(m_tif, TIFFTAG_SMAXSAMPLEVALUE, &high) && high > low) {
            m_format.low = low;
            m_format.high = high;
        }
    }

    // Depths and formats the direct path converts.
    bool directSamples() const {
        if (!m_formatKnown) return false;
        switch (m_format.kind) {
            case SampleFormat::unsignedInt:
                return m_bits >= 1 && m_bits <= 32;
            case SampleFormat::signedInt:
                return m_bits == 8 || m_bits == 16 || m_bits == 32;
            case SampleFormat::floating:
                return m_bits == 16 || m_bits == 32 || m_bits == 64;
        }
        return false;
    }

    void put(std::uint32_t y) {
        if (!m_sink.put(y)) throw DecodeError(m_sink.reason());
    }

    std::uint32_t tileHeight() {
        std::uint32_t th = 0;
        if (m_tiled) TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &th);
        return th;
    }

    // Chooses the direct path for contiguous grey, palette and RGB(A) samples.
    bool classify() {
        m_separate = m_planar == PLANARCONFIG_SEPARATE && m_samples > 1;
        if (m_separate && m_photometric != PHOTOMETRIC_RGB) return false;
        const bool smallBits = m_bits == 1 || m_bits == 2 || m_bits == 4 || m_bits == 8;
        switch (m_photometric) {
            case PHOTOMETRIC_MINISBLACK:
            case PHOTOMETRIC_MINISWHITE:
                if (m_samples != 1 || !directSamples()) return false;
                m_kind =
                    m_photometric == PHOTOMETRIC_MINISWHITE ? Samples::greyInverted : Samples::grey;
                begin(8, 256, directBand());
                SetGreyColours(m_sink.colours(), 256);
                return true;
            case PHOTOMETRIC_PALETTE:
                if (m_samples != 1 || !smallBits || m_format.kind != SampleFormat::unsignedInt)
                    return false;
                m_kind = Samples::index;
                begin(8, 1u << m_bits, directBand());
                copyColourMap();
                return true;
            case PHOTOMETRIC_RGB:
                if (m_samples < 3 || m_bits < 8 || !directSamples()) return false;
                m_kind = m_alpha && m_samples >= 4 ? Samples::rgba : Samples::rgb;
                if (m_kind == Samples::rgba)
                    begin(32, 0, directBand(),
                          m_premultiplied ? Alpha::premultiplied : Alpha::straight);
                else
                    begin(24, 0, directBand());
                return true;
            case PHOTOMETRIC_YCBCR: {
                // JPEG-compressed YCbCr, as cameras and scanners write it:
                // libjpeg converts to RGB as it decodes.
                std::uint16_t compression = COMPRESSION_NONE;
                TIFFGetFieldDefaulted(m_tif, TIFFTAG_COMPRESSION, &compression);
                if (compression != COMPRESSION_JPEG || m_samples != 3 || m_bits != 8 ||
                    !TIFFSetField(m_tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
                    return false;
                m_kind = Samples::rgb;
                begin(24, 0, directBand());
                return true;
            }
            default:
                return false;
        }
    }

    // TIFF colour maps are 16 bits per entry; files that store 8-bit values
    // there (every entry below 256) are taken as they are.
    void copyColourMap() {
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(m_tif, TIFFTAG_COLORMAP, &red, &green, &blue))
            failWith("palette image without a colour map");
        const unsigned n = 1u << m_bits;
        bool eightBit = true;
        for (unsigned i = 0; i < n; ++i)
            eightBit &= red[i] < 256 && green[i] < 256 && blue[i] < 256;
        const auto level = [eightBit](std::uint16_t v) {
            return eightBit ? static_cast<BYTE>(v) : static_cast<BYTE>(scale16(v));
        };
        RGBQUAD* table = m_sink.colours();
        for (unsigned i = 0; i < n; ++i)
            table[i] = RGBQUAD{level(blue[i]), level(green[i]), level(red[i]), 0};
    }

    // Rows the direct path asks for at once: a row of tiles, a strip of
    // separate planes, or one row.
    std::uint32_t directBand() {
        const std::uint32_t th = tileHeight();
        if (!m_tiled && m_separate) {
            // Separate planes are read a strip at a time.
            std::uint32_t rows = 0;
            TIFFGetFieldDefaulted(m_tif, TIFFTAG_ROWSPERSTRIP, &rows);
            return std::max<std::uint32_t>(1, std::min(rows, m_height));
        }
        if (!m_tiled) return 1;
        if (th == 0) failWith("bad tile size");
        return std::min(th, m_height);
    }

    void readDirect() {
        if (!m_sink.wantsPixels()) return;
        if (m_separate) {
            readSeparate();
            return;
        }
        if (m_tiled) {
            readTiles();
            return;
        }
        std::vector<unsigned char> line(static_cast<std::size_t>(scanlineSize()));
        for (std::uint32_t y = 0; y < m_height; ++y) {
            if (TIFFReadScanline(m_tif, line.data(), y, 0) < 0) failWith("cannot read a row");
            convertRow(line.data(), m_format, m_samples, m_kind, m_width, m_sink.row(y));
            put(y);
        }
    }

    tmsize_t scanlineSize() {
        const tmsize_t size = TIFFScanlineSize(m_tif);
        if (size <= 0) failWith("bad row size");
        return size;
    }

    // Room for the rows y0 .. y0 + h - 1 of a band.
    void askBand(std::uint32_t y0, std::uint32_t h) {
        m_band.resize(h);
        for (std::uint32_t r = 0; r < h; ++r) m_band[r] = m_sink.row(y0 + r);
    }

    void putBand(std::uint32_t y0) {
        for (std::uint32_t r = 0; r < m_band.size(); ++r) put(y0 + r);
    }

    void readTiles() {
        std::uint32_t tw = 0;
        TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &tw);
        const std::uint32_t th = tileHeight();
        const tmsize_t tileBytes = TIFFTileSize(m_tif);
        const tmsize_t tileRow = TIFFTileRowSize(m_tif);
        if (tw == 0 || th == 0 || tileBytes <= 0 || tileRow <= 0) failWith("bad tile size");
        std::vector<unsigned char> tile(static_cast<std::size_t>(tileBytes));
        const std::size_t pixelBytes = m_rowBytes / m_width;
        for (std::uint32_t y0 = 0; y0 < m_height; y0 += th) {
            const std::uint32_t h = std::min(th, m_height - y0);
            askBand(y0, h);
            for (std::uint32_t x0 = 0; x0 < m_width; x0 += tw) {
                if (TIFFReadTile(m_tif, tile.data(), x0, y0, 0, 0) < 0)
                    failWith("cannot read a tile");
                const std::uint32_t w = std::min(tw, m_width - x0);
                for (std::uint32_t r = 0; r < h; ++r) {
                    convertRow(tile.data() + static_cast<std::size_t>(r) * tileRow, m_format,
                               m_samples, m_kind, w, m_band[r] + x0 * pixelBytes);
                }
            }
            putBand(y0);
        }
    }

    // Red, green, blue (and alpha) in separate planes, a strip or a row of
    // tiles at a time: each plane's samples are shown as 8 bits, then joined.
    void readSeparate() {
        std::uint32_t bw = m_width, bh = 0;
        tmsize_t blockBytes = 0, blockRow = 0;
        if (m_tiled) {
            TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &bw);
            bh = tileHeight();
            blockBytes = TIFFTileSize(m_tif);
            blockRow = TIFFTileRowSize(m_tif);
        } else {
            TIFFGetFieldDefaulted(m_tif, TIFFTAG_ROWSPERSTRIP, &bh);
            bh = std::min(bh, m_height);
            blockBytes = TIFFStripSize(m_tif);
            blockRow = TIFFScanlineSize(m_tif);
        }
        if (bw == 0 || bh == 0 || blockBytes <= 0 || blockRow <= 0)
            failWith("bad strip or tile size");
        const unsigned planes = m_kind == Samples::rgba ? 4 : 3;
        std::vector<std::vector<unsigned char>> blocks(
            planes, std::vector<unsigned char>(static_cast<std::size_t>(blockBytes)));
        std::vector<std::vector<unsigned char>> levels(planes, std::vector<unsigned char>(bw));
        const std::size_t pixelBytes = planes;
        for (std::uint32_t y0 = 0; y0 < m_height; y0 += bh) {
            const std::uint32_t h = std::min(bh, m_height - y0);
            askBand(y0, h);
            for (std::uint32_t x0 = 0; x0 < m_width; x0 += bw) {
                const std::uint32_t w = std::min(bw, m_width - x0);
                for (unsigned s = 0; s < planes; ++s) {
                    const tmsize_t got =
                        m_tiled ? TIFFReadTile(m_tif, blocks[s].data(), x0, y0, 0, s)
                                : TIFFReadEncodedStrip(m_tif, TIFFComputeStrip(m_tif, y0, s),
                                                       blocks[s].data(), blockBytes);
                    if (got < 0 || (!m_tiled && got < blockRow * static_cast<tmsize_t>(h)))
                        failWith("cannot read a strip or tile");
                }
                for (std::uint32_t r = 0; r < h; ++r) {
                    for (unsigned s = 0; s < planes; ++s)
                        convertRow(blocks[s].data() + static_cast<std::size_t>(r) * blockRow,
                                   m_format, 1, Samples::grey, w, levels[s].data());
                    unsigned char* dst = m_band[r] + x0 * pixelBytes;
                    for (std::uint32_t x = 0; x < w; ++x, dst += pixelBytes) {
                        dst[0] = levels[2][x];
                        dst[1] = levels[1][x];
                        dst[2] = levels[0][x];
                        if (planes == 4) dst[3] = levels[3][x];
                    }
                }
            }
            putBand(y0);
        }
    }

    // libtiff's RGBA reader, a strip or tile at a time, stopping at the first
    // damaged one. Its orientation handling is turned off (the file's
    // orientation goes to the sink, as on the direct path), so that its
    // rasters, packed ABGR words, come top row first as stored.
    void readRgba() {
        char why[1024] = {};
        if (!TIFFRGBAImageOK(m_tif, why)) failWith(why[0] ? why : "unsupported kind of TIFF");
        std::uint32_t bw = m_width, bh = 0;
        if (m_tiled) {
            TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &bw);
            TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &bh);
        } else {
            TIFFGetFieldDefaulted(m_tif, TIFFTAG_ROWSPERSTRIP, &bh);
            if (bh > m_height) bh = m_height;
        }
        begin(32, 0, std::max<std::uint32_t>(1, std::min(bh, m_height)),
              m_alpha ? Alpha::premultiplied : Alpha::none);
        if (!m_sink.wantsPixels()) return;
        if (bw == 0 || bh == 0) failWith("bad strip or tile size");
        const unsigned long long words = static_cast<unsigned long long>(bw) * bh;
        if (words > static_cast<unsigned long long>(kTiffMaxAllocation) / 4)
            failWith("strip or tile too large");
        std::vector<std::uint32_t> raster(static_cast<std::size_t>(words));
        TIFFRGBAImage image{};
        if (!TIFFRGBAImageBegin(&image, m_tif, 1, why))
            failWith(why[0] ? why : "unsupported kind of TIFF");
        image.req_orientation = ORIENTATION_TOPLEFT;
        image.orientation = ORIENTATION_TOPLEFT;
        struct ender {
            TIFFRGBAImage& image;
            ~ender() { TIFFRGBAImageEnd(&image); }
        } end{image};
        for (std::uint32_t y0 = 0; y0 < m_height; y0 += bh) {
            const std::uint32_t h = std::min(bh, m_height - y0);
            askBand(y0, h);
            for (std::uint32_t x0 = 0; x0 < m_width; x0 += bw) {
                const std::uint32_t w = std::min(bw, m_width - x0);
                image.row_offset = static_cast<int>(y0);
                image.col_offset = static_cast<int>(x0);
                if (!TIFFRGBAImageGet(&image, raster.data(), w, h)) failWith("cannot read pixels");
                for (std::uint32_t r = 0; r < h; ++r) {
                    const std::uint32_t* src = raster.data() + static_cast<std::size_t>(r) * w;
                    unsigned char* dst = m_band[r] + x0 * 4;
                    for (std::uint32_t x = 0; x < w; ++x, dst += 4) {
                        dst[0] = static_cast<unsigned char>(TIFFGetB(src[x]));
                        dst[1] = static_cast<unsigned char>(TIFFGetG(src[x]));
                        dst[2] = static_cast<unsigned char>(TIFFGetR(src[x]));
                        dst[3] = static_cast<unsigned char>(TIFFGetA(src[x]));
                    }
                }
            }
            putBand(y0);
        }
    }

    TIFF* m_tif;
    TiffFailure& m_failure;
    RowSink& m_sink;
    std::size_t m_rowBytes = 0;
    std::vector<unsigned char*> m_band;  // room for the rows of the band being read
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::uint16_t m_bits = 1;
    std::uint16_t m_samples = 1;
    std::uint16_t m_planar = PLANARCONFIG_CONTIG;
    std::uint16_t m_photometric = PHOTOMETRIC_MINISBLACK;
    bool m_alpha = false;
    bool m_premultiplied = false;
    bool m_separate = false;  // one plane per sample
    bool m_tiled = false;
    Samples m_kind = Samples::grey;
    SampleFormat m_format;
    bool m_formatKnown = true;
    Orientation m_orientation = Orientation::normal;
    const unsigned char* m_profile = nullptr;  // belongs to the TIFF handle
    std::size_t m_profileBytes = 0;
};

}  // namespace

void decodeTiff(const char* path, RowSink& sink) {
    TiffFailure failure;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) throw DecodeError("TIFF: out of memory");
    TIFFOpenOptionsSetErrorHandlerExtR(options, on_error, &failure);
    TIFFOpenOptionsSetWarningHandlerExtR(options, on_warning, &failure);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kTiffMaxAllocation);
    // "m": read with read(2), not a memory map. A mapped file is counted in the
    // resident set page by page as it is read, so decoding an uncompressed TIFF
    // would hold the whole file beside the whole decoded picture.
    TiffHandle tif(TIFFOpenExt(path, "rm", options));
    TIFFOpenOptionsFree(options);
    if (!tif) {
        throw DecodeError(std::string("TIFF: ") +
                          (failure.message[0] ? failure.message : "cannot open"));
    }
    TiffReader(tif.get(), failure, sink).run();
}

}  // namespace decode
}  // namespace KORBAS
