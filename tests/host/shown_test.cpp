// Pictures decoded as viewers show them: turned upright, transparent parts
// over white, colour profiles converted to sRGB, samples of every format
// shown by the documented rule, run-length BMP files; each against pixels
// computed here.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/bitmap.h"
#include "image/test_access.h"
#include "writers.h"

using namespace tarvel_test;

namespace {

constexpr int kW = 5, kH = 3;

// The DIB's pixels from the top, as the test names them.
bytes decoded(const std::string& path) {
    return picture(KORBAS::CBitmapWindows(nullptr, path.c_str(), true));
}

std::uint8_t over(double c, double a) {  // a colour sample of opacity a (0..1) over white
    return static_cast<std::uint8_t>(std::lround(c * a + 255 * (1 - a)));
}

// Samples of a small picture: red, green, blue and opacity per pixel.
std::uint8_t channel(int c, int i) {
    return static_cast<std::uint8_t>(c == 3 ? i * 17 : 40 * c + 13 * i + 5);
}

// Blue, green, red of each pixel of the picture over white, straight or premultiplied.
bytes expectedOver(bool premultiplied) {
    bytes want;
    for (int i = 0; i < kW * kH; ++i) {
        const double a = channel(3, i) / 255.0;
        for (int c = 2; c >= 0; --c) {
            const double colour = premultiplied ? channel(c, i) * a : channel(c, i);
            want.push_back(premultiplied ? static_cast<std::uint8_t>(std::min(
                                               255L, std::lround(colour) + 255 - channel(3, i)))
                                         : over(colour, a));
        }
    }
    return want;
}

std::string message(const std::string& path) {
    try {
        KORBAS::CBitmapWindows dib(nullptr, path.c_str(), true);
    } catch (const KORBAS::CImageDecodeException& e) {
        return e.reason();
    }
    return "";
}

}  // namespace

// PNG with alpha or tRNS, TIFF with associated and unassociated alpha in
// either plane layout, and a BMP with an alpha bit field.
TEST(Shown, TransparentPartsAreOverWhite) {
    scratch_dir dir;
    bytes rgba, premultiplied;
    for (int i = 0; i < kW * kH; ++i) {
        for (int c = 0; c < 4; ++c) {
            rgba.push_back(channel(c, i));
            premultiplied.push_back(c == 3 ? channel(3, i)
                                           : static_cast<std::uint8_t>(std::lround(
                                                 channel(c, i) * channel(3, i) / 255.0)));
        }
    }
    const auto path = [&](const char* name) { return dir.file_path(name); };
    writePng(path("rgba.png"), kW, kH, PNG_COLOR_TYPE_RGB_ALPHA, 8, rgba);
    writeTiff(
        path("straight.tif"),
        {kW, kH, 4, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, false, 8, 1, EXTRASAMPLE_UNASSALPHA},
        rgba);
    writeTiff(path("planes.tif"),
              {kW, kH, 4, PHOTOMETRIC_RGB, COMPRESSION_LZW, 0, true, 8, 1, EXTRASAMPLE_UNASSALPHA},
              rgba);
    writeTiff(
        path("associated.tif"),
        {kW, kH, 4, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, false, 8, 1, EXTRASAMPLE_ASSOCALPHA},
        premultiplied);
    // A V5 BMP with bit fields red, green, blue, alpha in bytes 2, 1, 0, 3.
    bytes bmp = {'B', 'M', 0,  0, 0, 0, 0,          0,    0,    0,    138, 0, 0,  0, 124, 0,
                 0,   0,   kW, 0, 0, 0, 0x100 - kH, 0xff, 0xff, 0xff, 1,   0, 32, 0, 3};
    bmp.resize(54, 0);
    for (std::uint32_t mask : {0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u})
        for (int b = 0; b < 4; ++b) bmp.push_back(static_cast<std::uint8_t>(mask >> 8 * b));
    bmp.resize(138, 0);
    for (int i = 0; i < kW * kH; ++i)
        bmp.insert(bmp.end(), {channel(2, i), channel(1, i), channel(0, i), channel(3, i)});
    write_bytes(path("alpha.bmp"), bmp);

    for (const char* name : {"rgba.png", "straight.tif", "planes.tif", "alpha.bmp"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(decoded(path(name)), expectedOver(false));
    }
    const bytes got = decoded(path("associated.tif"));
    const bytes want = expectedOver(true);
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1) << i;

    // A palette whose entry 1 is half transparent, and an RGB colour key.
    writePng(path("trns.png"), 2, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1}, {10, 20, 30, 200, 100, 0},
             false, {{255, 128}, {}, {}});
    EXPECT_EQ(decoded(path("trns.png")), (bytes{0, 1}));
    const KORBAS::CBitmapWindows dib(nullptr, path("trns.png").c_str(), true);
    const RGBQUAD& half = dib.getColorTable()[1];
    EXPECT_EQ((bytes{half.rgbRed, half.rgbGreen, half.rgbBlue}),
              (bytes{over(200, 128 / 255.0), over(100, 128 / 255.0), over(0, 128 / 255.0)}));
    writePng(path("key.png"), 2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, {}, false,
             {{}, {4, 5, 6}, {}});
    EXPECT_EQ(decoded(path("key.png")), (bytes{3, 2, 1, 255, 255, 255}));
}

// The eight EXIF orientations of a JPEG, and TIFF Orientation tags on the
// direct path (RGB) and libtiff's RGBA path (grey with alpha): each shows
// the stored picture turned as the tag says.
TEST(Shown, EveryOrientationIsShownUpright) {
    scratch_dir dir;
    const int w = 24, h = 16;  // whole JPEG blocks, so that turning loses nothing
    bytes grey(w * h);
    for (int i = 0; i < w * h; ++i) grey[i] = static_cast<std::uint8_t>((i % w) * 10 + (i / w) * 3);
    // Where upright pixel (x, y) comes from in the stored picture, per orientation.
    const auto source = [&](int o, int x, int y) {
        const int sx = o == 2 || o == 3 ? w - 1 - x : x, sy = o == 3 || o == 4 ? h - 1 - y : y;
        switch (o) {
            case 5:
                return y + x * w;
            case 6:
                return y + (h - 1 - x) * w;
            case 7:
                return (w - 1 - y) + (h - 1 - x) * w;
            case 8:
                return (w - 1 - y) + x * w;
            default:
                return sx + sy * w;
        }
    };
    writeJpeg(dir.file_path("plain.jpg"), w, h, 1, grey);
    const bytes stored = decoded(dir.file_path("plain.jpg"));
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        // EXIF: a little-endian TIFF block whose first directory holds Orientation.
        const bytes exif = {'E', 'x',  'i', 'f', 0,
                            0,   'I',  'I', 42,  0,
                            8,   0,    0,   0,   1,
                            0,   0x12, 1,   3,   0,
                            1,   0,    0,   0,   std::uint8_t(o),
                            0,   0,    0,   0,   0,
                            0,   0};
        const std::string jpeg = dir.file_path("o" + std::to_string(o) + ".jpg");
        writeJpeg(jpeg, w, h, 1, grey, exif);
        bytes rgb, ga;
        for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {grey[i], grey[i], grey[i]});
        for (int i = 0; i < w * h; ++i) ga.insert(ga.end(), {grey[i], 255});
        const std::string direct = dir.file_path("d" + std::to_string(o) + ".tif");
        const std::string rgbaPath = dir.file_path("a" + std::to_string(o) + ".tif");
        writeTiff(direct, {w, h, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, 0, false, 8, 1, -1, o}, rgb);
        writeTiff(rgbaPath,
                  {w, h, 2, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 0, false, 8, 1,
                   EXTRASAMPLE_UNASSALPHA, o},
                  ga);
        const bool turned = o >= 5;
        const int uw = turned ? h : w, uh = turned ? w : h;
        bytes wantGrey, wantRgb;
        for (int y = 0; y < uh; ++y) {
            for (int x = 0; x < uw; ++x) {
                wantGrey.push_back(stored[source(o, x, y)]);
                wantRgb.insert(wantRgb.end(), 3, grey[source(o, x, y)]);
            }
        }
        EXPECT_EQ(decoded(jpeg), wantGrey);
        EXPECT_EQ(decoded(direct), wantRgb);
        EXPECT_EQ(decoded(rgbaPath), wantRgb);
    }
}

// Grey TIFF samples of every format against the rule written out here:
// unsigned by their range, signed offset by half of it, floating point 0..1,
// the file's SMinSampleValue..SMaxSampleValue when given.
TEST(Shown, SamplesOfEveryFormatByTheDocumentedRule) {
    scratch_dir dir;
    struct Case {
        const char* name;
        int bits, format;
        std::vector<double> values;
        double low = 0, high = 0;
    };
    const double nan = std::nan("");
    const std::vector<Case> cases = {
        {"int16", 16, SAMPLEFORMAT_INT, {-32768, -1, 0, 1, 32767}},
        {"int8", 8, SAMPLEFORMAT_INT, {-128, -1, 0, 64, 127}},
        {"int32", 32, SAMPLEFORMAT_INT, {-2147483648.0, -1, 0, 1e9, 2147483647}},
        {"uint32", 32, SAMPLEFORMAT_UINT, {0, 1, 2147483648.0, 3e9, 4294967295.0}},
        {"float32", 32, SAMPLEFORMAT_IEEEFP, {-0.5, 0, 0.25, 1, nan}},
        {"float64", 64, SAMPLEFORMAT_IEEEFP, {0.1, 0.5, 0.999, 7, -1e300}},
        {"elevations", 16, SAMPLEFORMAT_INT, {-200, -100, 0, 1450, 3000}, -100, 3000},
        {"float range", 32, SAMPLEFORMAT_IEEEFP, {10, 20, 25, 30, 40}, 20, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bytes raw;
        bytes want;
        for (double v : c.values) {
            unsigned char b[8];
            if (c.format == SAMPLEFORMAT_IEEEFP && c.bits == 32) {
                const float f = static_cast<float>(v);
                std::memcpy(b, &f, 4);
            } else if (c.format == SAMPLEFORMAT_IEEEFP) {
                std::memcpy(b, &v, 8);
            } else {
                const long long n = static_cast<long long>(v);
                std::memcpy(b, &n, 8);  // little-endian: the low bytes first
            }
            raw.insert(raw.end(), b, b + c.bits / 8);
            double level;  // 0..1 before clamping
            const double span = std::ldexp(1.0, c.bits);
            if (c.high > c.low)
                level = (v - c.low) / (c.high - c.low);
            else if (c.format == SAMPLEFORMAT_INT)
                level = (v + span / 2) / (span - 1);
            else if (c.format == SAMPLEFORMAT_UINT)
                level = v / (span - 1);
            else
                level = std::isnan(v) ? 0 : v;
            want.push_back(
                static_cast<std::uint8_t>(std::lround(std::clamp(level, 0.0, 1.0) * 255)));
        }
        const std::string path = dir.file_path(std::string(c.name) + ".tif");
        TiffRecipe r{5, 1, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 0, false, c.bits, c.format};
        r.low = c.low;
        r.high = c.high;
        writeTiff(path, r, raw);
        EXPECT_EQ(decoded(path), want);
    }
}

// A profile whose red and green primaries are sRGB's swapped turns the
// samples' red and green around on the way to sRGB; a grey profile with a
// linear curve gives the sRGB encoding of each level.
TEST(Shown, EmbeddedProfilesAreConvertedToSrgb) {
    scratch_dir dir;
    auto save = [](cmsHPROFILE p) {
        cmsUInt32Number n = 0;
        cmsSaveProfileToMem(p, nullptr, &n);
        bytes b(n);
        cmsSaveProfileToMem(p, b.data(), &n);
        cmsCloseProfile(p);
        return b;
    };
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE swapped = {{0.30, 0.60, 1}, {0.64, 0.33, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* srgbCurve = cmsBuildParametricToneCurve(
        nullptr, 4, std::vector<double>{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}.data());
    cmsToneCurve* curves[3] = {srgbCurve, srgbCurve, srgbCurve};
    const bytes rgbProfile = save(cmsCreateRGBProfile(&white, &swapped, curves));
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    const bytes greyProfile = save(cmsCreateGrayProfile(cmsD50_xyY(), linear));
    cmsFreeToneCurve(srgbCurve);
    cmsFreeToneCurve(linear);

    bytes rgb, swappedBgr;  // samples, and what sRGB shows: blue, red, green
    for (int i = 0; i < kW * kH; ++i) {
        const std::uint8_t r = channel(0, i), g = channel(1, i), b = channel(2, i);
        rgb.insert(rgb.end(), {r, g, b});
        swappedBgr.insert(swappedBgr.end(), {b, r, g});
    }
    const auto path = [&](const char* name) { return dir.file_path(name); };
    writePng(path("p.png"), kW, kH, PNG_COLOR_TYPE_RGB, 8, rgb, {}, false, {{}, {}, rgbProfile});
    writeTiff(
        path("t.tif"),
        {kW, kH, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, false, 8, 1, -1, 0, 0, 0, rgbProfile},
        rgb);
    for (const char* name : {"p.png", "t.tif"}) {
        SCOPED_TRACE(name);
        const bytes got = decoded(path(name));
        for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], swappedBgr[i], 1) << i;
    }
    // Grey: the colour table holds the sRGB encoding of each linear level.
    bytes levels(256);
    for (int i = 0; i < 256; ++i) levels[i] = static_cast<std::uint8_t>(i);
    writePng(path("g.png"), 256, 1, PNG_COLOR_TYPE_GRAY, 8, levels, {}, false,
             {{}, {}, greyProfile});
    const KORBAS::CBitmapWindows dib(nullptr, path("g.png").c_str(), true);
    for (int i = 0; i < 256; i += 15) {
        const double l = i / 255.0;
        const double s = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
        EXPECT_NEAR(dib.getColorTable()[i].rgbGreen, s * 255, 2) << i;
    }
    // A profile that is not one leaves the colours as they are.
    writeTiff(
        path("bad.tif"),
        {kW, kH, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 0, false, 8, 1, -1, 0, 0, 0, bytes(200, 7)},
        rgb);
    EXPECT_EQ(decoded(path("bad.tif")), [&] {
        bytes bgr = rgb;
        for (std::size_t i = 0; i < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
        return bgr;
    }());
}

// A bit field without bits, which reads as 0; RLE8 and RLE4 with runs,
// literals, a move and early line ends (skipped pixels are transparent, so
// white); the 16-byte OS/2 2.x header.
TEST(Shown, RunLengthOs2AndEmptyBitFieldBmpFiles) {
    scratch_dir dir;
    const auto header = [](std::uint32_t size, int bits, std::uint32_t compression, int w, int h,
                           int colours, std::size_t pixels) {
        bytes b = {'B', 'M'};
        const std::uint32_t off = 14 + size + 4 * colours;
        for (std::uint32_t v : {off + std::uint32_t(pixels), 0u, off, size, std::uint32_t(w),
                                std::uint32_t(h), 1u | std::uint32_t(bits) << 16, compression})
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> 8 * i));
        b.resize(14 + size, 0);
        for (int i = 0; i < colours; ++i)
            b.insert(b.end(), {std::uint8_t(i), 0, std::uint8_t(200 - i), 0});
        return b;
    };
    // 16-bit bit fields red 0xf800, green none, blue 0x001f.
    bytes file = header(40, 16, 3, 2, 1, 0, 4);
    for (std::uint32_t mask : {0xf800u, 0u, 0x001fu})
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(mask >> 8 * i));
    file[10] += 12;
    file.insert(file.end(), {0xff, 0xff, 0x1f, 0x00});
    write_bytes(dir.file_path("fields.bmp"), file);
    EXPECT_EQ(decoded(dir.file_path("fields.bmp")), (bytes{255, 0, 255, 255, 0, 0}));

    // 6 x 3, bottom row first: run 3 of 1, literal 2 3 4, end of line; a
    // move of 2 right and 1 up; run of 2 of 5, end of picture.
    const bytes rle8 = {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 2, 1, 2, 5, 0, 1};
    file = header(40, 8, 1, 6, 3, 8, rle8.size());
    file.insert(file.end(), rle8.begin(), rle8.end());
    write_bytes(dir.file_path("rle8.bmp"), file);
    // RLE4: a run of 5 alternating 1 and 2, literal 3 4 5 (padded), end of picture.
    const bytes rle4 = {5, 0x12, 0, 3, 0x34, 0x50, 0, 1};
    file = header(40, 4, 2, 8, 1, 8, rle4.size());
    file.insert(file.end(), rle4.begin(), rle4.end());
    write_bytes(dir.file_path("rle4.bmp"), file);

    const int s = 8;  // the entry after the table, transparent
    EXPECT_EQ(decoded(dir.file_path("rle8.bmp")),
              (bytes{s, s, 5, 5, s, s, s, s, s, s, s, s, 1, 1, 1, 2, 3, 4}));
    EXPECT_EQ(decoded(dir.file_path("rle4.bmp")), (bytes{1, 2, 1, 2, 1, 3, 4, 5}));
    const KORBAS::CBitmapWindows dib(nullptr, dir.file_path("rle8.bmp").c_str(), true);
    const RGBQUAD& skipped = dib.getColorTable()[s];
    EXPECT_EQ((bytes{skipped.rgbRed, skipped.rgbGreen, skipped.rgbBlue}), (bytes{255, 255, 255}));
    EXPECT_EQ(dib.getColorTable()[3].rgbRed, 197);  // the file's own entries stay

    // OS/2 2.x, 16 bytes: no colour count, so bfOffBits bounds the table.
    file = header(16, 8, 0, 3, 1, 4, 4);
    file.insert(file.end(), {3, 0, 2, 0});
    write_bytes(dir.file_path("os2.bmp"), file);
    EXPECT_EQ(decoded(dir.file_path("os2.bmp")), (bytes{3, 0, 2}));
    EXPECT_EQ(
        KORBAS::CBitmapWindows(nullptr, dir.file_path("os2.bmp").c_str(), true).getColorCount(),
        4u);

    // Runs that leave their row, and data that stops early, are refused.
    for (const bytes& bad : {bytes{9, 1, 0, 1}, bytes{2, 1, 0, 2, 9, 0}, bytes{3, 1}}) {
        file = header(40, 8, 1, 6, 3, 8, bad.size());
        file.insert(file.end(), bad.begin(), bad.end());
        write_bytes(dir.file_path("bad.bmp"), file);
        EXPECT_NE(message(dir.file_path("bad.bmp")).find("BMP: "), std::string::npos);
    }
}

// A corrupt strip on libtiff's RGBA path (separate planes of CMYK here) is
// refused, as on the direct path.
TEST(Shown, DamagedStripsAreRefusedOnEveryPath) {
    scratch_dir dir;
    bytes cmyk(4 * 40 * 30);
    for (std::size_t i = 0; i < cmyk.size(); ++i) cmyk[i] = static_cast<std::uint8_t>(i * 7 % 251);
    for (int photometric : {PHOTOMETRIC_SEPARATED, PHOTOMETRIC_RGB}) {
        SCOPED_TRACE(photometric);
        const std::string path = dir.file_path("damaged.tif");
        writeTiff(path, {40, 30, 4, photometric, COMPRESSION_LZW}, cmyk);
        EXPECT_EQ(message(path), "");
        bytes file = read_bytes(path);
        // LZW strips start after the 8-byte header; spoil the middle of the data.
        for (std::size_t i = file.size() / 3; i < file.size() / 3 + 40; ++i) file[i] = 0xff;
        write_bytes(path, file);
        EXPECT_NE(message(path).find("TIFF: "), std::string::npos);
    }
}
