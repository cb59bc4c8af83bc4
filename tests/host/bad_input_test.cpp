// Bad input: every broken, hostile or unsupported file throws a clear
// CImageDecodeException naming the file, without crashing or allocating much.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>

#include "writers.h"

using hosttest::Bytes;
using KORBAS::CBitmapWindows;
using KORBAS::CImageDecodeException;

namespace {

// The reason the decoder gives for path, or "" when it decodes.
std::string failure(const std::string& path) {
    try {
        CBitmapWindows dib(nullptr, path.c_str(), true);
    } catch (const CImageDecodeException& e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_EQ(std::string(e.what()), path + ": " + e.reason());
        return e.reason();
    }
    return "";
}

std::uint32_t crc32(const unsigned char* p, std::size_t n) {
    std::uint32_t c = 0xffffffffu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
    }
    return ~c;
}

// Rewrites the size in a PNG's header chunk, with a valid checksum.
Bytes claimSize(Bytes png, std::uint32_t width, std::uint32_t height) {
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<unsigned char>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<unsigned char>(height >> (24 - 8 * i));
    }
    const std::uint32_t crc = crc32(png.data() + 12, 17);
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    return png;
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(BadInput, MissingEmptyUnknownAndUnsupported) {
    hosttest::ScratchDir dir;
    EXPECT_TRUE(contains(failure(dir.file("missing.png")), "cannot open"));
    hosttest::writeAll(dir.file("empty"), {});
    EXPECT_EQ(failure(dir.file("empty")), "the file is empty");
    EXPECT_TRUE(contains(failure(dir.file("")), "cannot read"));  // a directory
    hosttest::writeAll(dir.file("gif"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0});
    EXPECT_EQ(failure(dir.file("gif")), "not a JPEG, PNG, TIFF or BMP file");
    // A BMP compressed with run lengths.
    Bytes rle(54, 0);
    rle[0] = 'B', rle[1] = 'M', rle[10] = 54, rle[14] = 40, rle[18] = 1, rle[22] = 1, rle[26] = 1;
    rle[28] = 8, rle[30] = 1;
    hosttest::writeAll(dir.file("rle.bmp"), rle);
    EXPECT_TRUE(contains(failure(dir.file("rle.bmp")), "not supported"));
    try {
        CBitmapWindows dib(nullptr, nullptr, true);
        ADD_FAILURE() << "a null path decoded";
    } catch (const CImageDecodeException& e) {
        EXPECT_EQ(e.reason(), "no file name given");
    }
}

TEST(BadInput, EnormousAndZeroSizedHeadersAreRefusedBeforeAllocating) {
    hosttest::ScratchDir dir;
    hosttest::writePng(dir.file("small.png"), 4, 4, PNG_COLOR_TYPE_RGB, 8, Bytes(48, 7));
    const Bytes small = hosttest::readAll(dir.file("small.png"));
    const long before = peakKiB();
    hosttest::writeAll(dir.file("huge.png"), claimSize(small, 1000000, 1000000));
    EXPECT_TRUE(contains(failure(dir.file("huge.png")), "decoding limit"));
    hosttest::writeAll(dir.file("wide.png"), claimSize(small, 0x7fffffff, 1));
    EXPECT_NE(failure(dir.file("wide.png")), "");
    hosttest::writeAll(dir.file("zero.png"), claimSize(small, 0, 4));
    EXPECT_NE(failure(dir.file("zero.png")), "");
    // A BMP claiming 30000 x 30000 pixels in a few bytes is refused by its size.
    Bytes bmp(54, 0);
    bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 54, bmp[14] = 40, bmp[26] = 1, bmp[28] = 24;
    bmp[18] = 0x30, bmp[19] = 0x75, bmp[22] = 0x30, bmp[23] = 0x75;
    hosttest::writeAll(dir.file("huge.bmp"), bmp);
    EXPECT_TRUE(contains(failure(dir.file("huge.bmp")), "truncated"));
    EXPECT_LT(peakKiB() - before, 64 * 1024) << "KiB of peak memory grew";

    // A lowered limit refuses what fits by default.
    hosttest::writePng(dir.file("rgb.png"), 100, 100, PNG_COLOR_TYPE_RGB, 8, Bytes(30000, 1));
    const std::size_t saved = CBitmapWindows::GetDecodeLimit();
    CBitmapWindows::SetDecodeLimit(20000);
    EXPECT_TRUE(contains(failure(dir.file("rgb.png")), "decoding limit of 20000 bytes"));
    CBitmapWindows::SetDecodeLimit(saved);
    EXPECT_EQ(failure(dir.file("rgb.png")), "");
}

TEST(BadInput, TruncatedAndCorruptFilesThrowWithoutCrashing) {
    hosttest::ScratchDir dir;
    const int w = 64, h = 48;
    Bytes rgb(w * h * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<unsigned char>(i * 7 ^ i >> 5);
    hosttest::writePng(dir.file("a.png"), w, h, PNG_COLOR_TYPE_RGB, 8, rgb);
    hosttest::writeJpeg(dir.file("a.jpg"), w, h, 3, rgb);
    hosttest::TiffRecipe recipe{w, h, 3};
    recipe.photometric = 2;
    recipe.compression = 5;  // LZW
    hosttest::writeTiff(dir.file("a.tif"), recipe, rgb);
    for (const char* name : {"a.png", "a.jpg", "a.tif"}) {
        const Bytes whole = hosttest::readAll(dir.file(name));
        ASSERT_EQ(failure(dir.file(name)), "") << name;
        // Cut anywhere: always an error, never a crash or a grey-filled success.
        for (std::size_t cut : {std::size_t(1), std::size_t(10), whole.size() / 4, whole.size() / 2,
                                whole.size() - 20}) {
            const std::string path = dir.file(std::string("cut-") + name);
            hosttest::writeAll(path, Bytes(whole.begin(), whole.begin() + cut));
            EXPECT_NE(failure(path), "") << name << " cut at " << cut;
        }
        // Bytes flipped in the middle: an error or a picture, never a crash.
        Bytes corrupt = whole;
        for (std::size_t i = corrupt.size() / 3; i < corrupt.size() / 3 + 16; ++i)
            corrupt[i] ^= 0x5a;
        hosttest::writeAll(dir.file(std::string("bad-") + name), corrupt);
        failure(dir.file(std::string("bad-") + name));
    }
    // PNG checks its data: a flipped byte is an error, not a wrong picture.
    Bytes png = hosttest::readAll(dir.file("a.png"));
    png[png.size() / 2] ^= 1;
    hosttest::writeAll(dir.file("crc.png"), png);
    EXPECT_TRUE(contains(failure(dir.file("crc.png")), "PNG"));
}
