// Decoding a 10000 x 8000 RGB JPEG, PNG and TIFF into a host DIB, against the
// bare library decode of the same file into one buffer. Each benchmark times
// both and reports their ratio; the inputs are generated into a temporary
// directory on first use and removed at exit.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/bitmap.h"
#include "platform/platform.h"

namespace {

constexpr int kWidth = 10000;
constexpr int kHeight = 8000;

// A smooth picture with some texture: neither trivial nor noise for the codecs.
void fill_row(int y, unsigned char* row) {
    for (int x = 0; x < kWidth; ++x) {
        const unsigned t = static_cast<unsigned>(x * 7 + y * 3) ^ static_cast<unsigned>(x * y >> 9);
        row[3 * x] = static_cast<unsigned char>(x * 255 / kWidth);
        row[3 * x + 1] = static_cast<unsigned char>(y * 255 / kHeight);
        row[3 * x + 2] = static_cast<unsigned char>(t & 0x3f) + 96;
    }
}

class Inputs {
  public:
    Inputs() {
        char pattern[] = "/tmp/tarvel-bench-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
        std::vector<unsigned char> row(kWidth * 3);
        writeJpeg(row);
        writePng(row);
        writeTiff(row, tiff(), COMPRESSION_LZW);
        writeTiff(row, rawTiff(), COMPRESSION_NONE);
    }
    ~Inputs() {
        for (const std::string& f : {jpeg(), png(), tiff(), rawTiff()}) unlink(f.c_str());
        rmdir(dir.c_str());
    }
    std::string jpeg() const { return dir + "/in.jpg"; }
    std::string png() const { return dir + "/in.png"; }
    std::string tiff() const { return dir + "/in.tif"; }      // LZW with a predictor
    std::string rawTiff() const { return dir + "/raw.tif"; }  // uncompressed

  private:
    void writeJpeg(std::vector<unsigned char>& row) {
        std::FILE* f = std::fopen(jpeg().c_str(), "wb");
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, f);
        c.image_width = kWidth;
        c.image_height = kHeight;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        for (int y = 0; y < kHeight; ++y) {
            fill_row(y, row.data());
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(f);
    }
    void writePng(std::vector<unsigned char>& row) {
        std::FILE* f = std::fopen(png().c_str(), "wb");
        png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop i = png_create_info_struct(p);
        png_init_io(p, f);
        png_set_compression_level(p, 1);  // quick to make; decoding cost hardly depends on it
        png_set_IHDR(p, i, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(p, i);
        for (int y = 0; y < kHeight; ++y) {
            fill_row(y, row.data());
            png_write_row(p, row.data());
        }
        png_write_end(p, nullptr);
        png_destroy_write_struct(&p, &i);
        std::fclose(f);
    }
    static void writeTiff(std::vector<unsigned char>& row, const std::string& path,
                          int compression) {
        TIFF* t = TIFFOpen(path.c_str(), "w");
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
        if (compression == COMPRESSION_LZW)
            TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
        for (int y = 0; y < kHeight; ++y) {
            fill_row(y, row.data());
            TIFFWriteScanline(t, row.data(), y, 0);
        }
        TIFFClose(t);
    }
    std::string dir;
};

const Inputs& inputs() {
    static const Inputs made;
    return made;
}

// The bare decodes write into a pixel buffer allocated as a DIB's is, so that
// the ratio compares decoding work rather than two allocation policies (the
// DIB's large buffers are backed by huge pages where the kernel allows).
struct PictureBuffer : KORBAS::CBitmapWindows {
    PictureBuffer() : CBitmapWindows(nullptr) {
        if (!allocDIB(kWidth, kHeight, 1, 24, 0, kBiRgb)) throw std::runtime_error("out of memory");
    }
    unsigned char* get() const { return m_pBits; }
};

void bare_jpeg(const std::string& path) {
    const PictureBuffer out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_decompress(&c);
    jpeg_stdio_src(&c, f);
    jpeg_read_header(&c, TRUE);
    jpeg_start_decompress(&c);
    while (c.output_scanline < c.output_height) {
        JSAMPROW r = out.get() + std::size_t(c.output_scanline) * kWidth * 3;
        jpeg_read_scanlines(&c, &r, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    std::fclose(f);
    benchmark::DoNotOptimize(out.get());
}

void bare_png(const std::string& path) {
    const PictureBuffer out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    png_structp p = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop i = png_create_info_struct(p);
    png_init_io(p, f);
    png_read_info(p, i);
    for (int y = 0; y < kHeight; ++y)
        png_read_row(p, out.get() + std::size_t(y) * kWidth * 3, nullptr);
    png_read_end(p, nullptr);
    png_destroy_read_struct(&p, &i, nullptr);
    std::fclose(f);
    benchmark::DoNotOptimize(out.get());
}

void bare_tiff(const std::string& path) {
    const PictureBuffer out;
    TIFF* t = TIFFOpen(path.c_str(), "r");
    for (int y = 0; y < kHeight; ++y)
        TIFFReadScanline(t, out.get() + std::size_t(y) * kWidth * 3, y, 0);
    TIFFClose(t);
    benchmark::DoNotOptimize(out.get());
}

double seconds_of(void (*work)(const std::string&), const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    work(path);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void dib_decode(const std::string& path) {
    KORBAS::CBitmapWindows dib(nullptr, path.c_str(), true);
    benchmark::DoNotOptimize(dib.getBeginImage());
}

// Times the DIB decode (reported) and the bare decode of the same file; the
// counter "ratio" is DIB time over bare time.
void compare(benchmark::State& state, const std::string& path, void (*bare)(const std::string&)) {
    double dibTotal = 0, bareTotal = 0;
    for (auto _ : state) {
        const double b = seconds_of(bare, path);
        const double d = seconds_of(dib_decode, path);
        state.SetIterationTime(d);
        bareTotal += b;
        dibTotal += d;
    }
    state.counters["bare_ms"] = bareTotal * 1000 / state.iterations();
    state.counters["ratio"] = dibTotal / bareTotal;
    state.SetItemsProcessed(state.iterations() * std::int64_t(kWidth) * kHeight);
}

void BM_DecodeJpegToDib(benchmark::State& state) {
    compare(state, inputs().jpeg(), bare_jpeg);
}
void BM_DecodePngToDib(benchmark::State& state) {
    compare(state, inputs().png(), bare_png);
}
void BM_DecodeTiffToDib(benchmark::State& state) {
    compare(state, inputs().tiff(), bare_tiff);
}
void BM_DecodeRawTiffToDib(benchmark::State& state) {
    compare(state, inputs().rawTiff(), bare_tiff);
}

}  // namespace

BENCHMARK(BM_DecodeJpegToDib)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePngToDib)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTiffToDib)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRawTiffToDib)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
