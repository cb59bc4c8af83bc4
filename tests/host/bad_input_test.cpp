// Bad input: every broken, hostile or unsupported file throws a clear
// CImageDecodeException naming the file, without crashing or allocating much.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include "image/test_access.h"
#include "imagefile/image_checks.h"
#include "writers.h"

using namespace tarvel_test;
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

// Writes the bytes to path and returns the decoder's reason.
std::string failure(const std::string& path, const bytes& content) {
    write_bytes(path, content);
    return failure(path);
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

void putBigEndian(bytes& b, int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Rewrites the size in a PNG's header chunk, with a valid checksum.
bytes claimSize(bytes png, std::uint32_t width, std::uint32_t height) {
    putBigEndian(png, 16, width);
    putBigEndian(png, 20, height);
    putBigEndian(png, 29, static_cast<std::uint32_t>(crc32(0, &png[12], 17)));  // type and data
    return png;
}

std::uint8_t grey(int, int, int) {
    return 128;
}

}  // namespace

TEST(BadInput, MissingEmptyUnknownAndUnsupported) {
    scratch_dir dir;
    EXPECT_TRUE(contains(failure(dir.file_path("missing.png")), "cannot open"));
    EXPECT_EQ(failure(dir.file_path("empty"), {}), "the file is empty");
    EXPECT_TRUE(contains(failure(dir.bare()), "cannot read"));  // a directory
    EXPECT_EQ(failure(dir.file_path("gif"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}),
              "not a JPEG, PNG, TIFF or BMP file");
    const bytes jpeg = make_bmp24({24, 1, 1, 4}, grey);  // JPEG inside
    EXPECT_TRUE(contains(failure(dir.file_path("jpeg.bmp"), jpeg), "not supported"));
}

TEST(BadInput, EnormousAndZeroSizedHeadersAreRefusedBeforeAllocating) {
    scratch_dir dir;
    const auto path = [&](const char* name) { return dir.file_path(name); };
    writePng(path("small.png"), 4, 4, PNG_COLOR_TYPE_RGB, 8, bytes(48, 7));
    const bytes small = read_bytes(path("small.png"));
    const long before = peak_kib();
    EXPECT_TRUE(
        contains(failure(path("huge.png"), claimSize(small, 1000000, 1000000)), "decoding limit"));
    EXPECT_NE(failure(path("wide.png"), claimSize(small, 0x7fffffff, 1)), "");
    EXPECT_NE(failure(path("zero.png"), claimSize(small, 0, 4)), "");
    bytes bmp = make_bmp24({24, 1, 1}, grey);  // claims 30000 x 30000 pixels in a few bytes
    bmp[18] = bmp[22] = 0x30, bmp[19] = bmp[23] = 0x75;
    EXPECT_TRUE(contains(failure(path("huge.bmp"), bmp), "truncated"));
    EXPECT_LT(peak_kib() - before, 64 * 1024) << "KiB of peak memory grew";
}

TEST(BadInput, TruncatedAndCorruptFilesThrowWithoutCrashing) {
    scratch_dir dir;
    bytes rgb(64 * 48 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7 ^ i >> 5);
    writePng(dir.file_path("a.png"), 64, 48, PNG_COLOR_TYPE_RGB, 8, rgb);
    writeJpeg(dir.file_path("a.jpg"), 64, 48, 3, rgb);
    writeTiff(dir.file_path("a.tif"), {64, 48, 3, 2, 5}, rgb);  // RGB, LZW
    for (const std::string name : {"a.png", "a.jpg", "a.tif"}) {
        const bytes whole = read_bytes(dir.file_path(name));
        const std::size_t n = whole.size();
        ASSERT_EQ(failure(dir.file_path(name)), "") << name;
        // Cut anywhere: always an error, never a crash or a grey-filled success.
        for (std::size_t cut : std::vector<std::size_t>{1, 10, n / 4, n / 2, n - 20})
            EXPECT_NE(
                failure(dir.file_path("cut-" + name), bytes(whole.begin(), whole.begin() + cut)),
                "")
                << name << " cut at " << cut;
        // Bytes flipped in the middle: an error or a picture, never a crash.
        bytes corrupt = whole;
        for (std::size_t i = n / 3; i < n / 3 + 16; ++i) corrupt[i] ^= 0x5a;
        failure(dir.file_path("bad-" + name), corrupt);
    }
    // PNG checks its data: a flipped byte is an error, not a wrong picture.
    bytes png = read_bytes(dir.file_path("a.png"));
    png[png.size() / 2] ^= 1;
    EXPECT_TRUE(contains(failure(dir.file_path("crc.png"), png), "PNG"));
}
