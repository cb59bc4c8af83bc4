// Reading BMP files made by hand: row orders, offsets, padding, palettes, and
// every kind of file that must be refused without touching the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image_checks.h"
#include "imagefile/imagefile.h"
#include "test_access.h"

using namespace tarvel_test;

namespace {

std::uint8_t picture(int c, int x, int y) {
    return static_cast<std::uint8_t>(x * (37 - 16 * c) + y * (11 + 40 * c) + 7 * c + (x ^ y) * c);
}

void put16(bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}
std::uint32_t get32(const bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// The same file with an information header of `size` bytes instead of 40:
// longer ones zero-filled after the classic fields, the 16-byte OS/2 2.x one
// cut after the depth, the 12-byte OS/2 1.x one with 16-bit sizes and 3-byte
// colours. bfOffBits moves with the headers and the table.
bytes with_header(const bytes& classic, std::uint32_t size, int colours) {
    bytes head(classic.begin(), classic.begin() + 14);
    const std::uint32_t tableEnd = 54 + 4 * colours;
    bytes table(classic.begin() + 54, classic.begin() + tableEnd);
    bytes info;
    if (size == 12) {
        info.resize(12);
        put16(info, 4, get32(classic, 18));
        put16(info, 6, get32(classic, 22));
        put16(info, 8, 1);
        put16(info, 10, get32(classic, 28));
        bytes triples;
        for (int i = 0; i < colours; ++i)
            triples.insert(triples.end(), table.begin() + 4 * i, table.begin() + 4 * i + 3);
        table = triples;
    } else {
        info.assign(classic.begin() + 14, classic.begin() + 14 + std::min(size, 40u));
        info.resize(size, 0);
    }
    put32(info, 0, size);
    bytes file = head;
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), table.begin(), table.end());
    const std::uint32_t offBits = get32(classic, 10) + 14 + size + table.size() - tableEnd;
    put32(file, 10, offBits);
    file.insert(file.end(), classic.begin() + tableEnd, classic.end());
    return file;
}

class BmpLoad : public testing::Test {
  protected:
    int load(const bytes& file, tarvel::image& img) {
        write_bytes(dir.file_path("in.bmp"), file);
        return tarvel::loadWindowsBMP(img, dir.file_path("in.bmp").c_str(), nullptr);
    }
    // The file is refused, an image holding the marker keeps it, and the
    // reason names the file and says `why`.
    void expect_refused(const bytes& file, const std::string& why = "") {
        tarvel::image img;
        mark(img);
        write_bytes(dir.file_path("in.bmp"), file);
        tarvel::CImageFileFormat_bmp format;
        EXPECT_FALSE(format.Load(img, dir.file_path("in.bmp").c_str(), nullptr, nullptr));
        EXPECT_EQ(std::string(format.GetError()).rfind(dir.file_path("in.bmp") + ": ", 0), 0u)
            << format.GetError();
        EXPECT_NE(std::string(format.GetError()).find(why), std::string::npos) << format.GetError();
        expect_marker(img);
    }
    scratch_dir dir;
};

// Widths 1 to 5 need 1, 2, 3, 0 and 1 padding bytes per 24-bit row (3, 2, 1,
// 0, 3 per 8-bit row); a gap moves the pixels to bfOffBits.
TEST_F(BmpLoad, RowOrdersOffsetsPaddingAndShortColourTables) {
    for (int width = 1; width <= 5; ++width) {
        for (int height : {1, 3, -1, -3}) {
            for (std::uint32_t gap : {0u, 10u}) {
                SCOPED_TRACE(testing::Message() << width << " x " << height << " gap " << gap);
                tarvel::image img;
                ASSERT_EQ(load(make_bmp24({24, width, height, 0, 0, 0, gap}, picture), img), 0);
                expect_picture(img, 3, width, std::abs(height), picture);
                // {entries in the file, biClrUsed}: biClrUsed 0 means all 256.
                for (auto table : {std::pair<int, std::uint32_t>{16, 16}, {256, 0}, {1, 1}}) {
                    auto pixel = [&](int, int x, int y) {
                        return static_cast<std::uint8_t>((x * 3 + y * 7) % table.first);
                    };
                    const bmp_recipe r{8, width, height, 0, table.first, table.second, gap};
                    ASSERT_EQ(load(make_bmp8(r, pixel), img), 0) << table.first << " colours";
                    expect_picture(img, 2, width, std::abs(height), pixel,
                                   test_palette(table.first));
                }
            }
        }
    }
}

// OS/2 1.x and 2.x, Windows 40, 52 and 56-byte, V4 and V5 headers: the table
// follows the header, the pixels start at bfOffBits, after a gap here. A
// bfOffBits that leaves room for fewer entries than declared shortens the table.
TEST_F(BmpLoad, EveryKnownHeaderKindAndTheTableAndPixelsWhereTheHeadersSay) {
    auto pixel = [](int, int x, int y) { return static_cast<std::uint8_t>((x * 5 + y * 3) % 16); };
    for (std::uint32_t size : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        for (int height : {4, -4}) {
            if (size == 12 && height < 0) continue;  // OS/2 1.x sizes are unsigned
            SCOPED_TRACE(testing::Message() << size << "-byte header, height " << height);
            tarvel::image img;
            ASSERT_EQ(
                load(with_header(make_bmp24({24, 7, height, 0, 0, 0, 6}, picture), size, 0), img),
                0);
            expect_picture(img, 3, 7, 4, picture);
            // The 16- and 12-byte headers have no biClrUsed: bfOffBits bounds the
            // table, so a gap would read as more entries.
            const std::uint32_t gap = size <= 16 ? 0 : 6;
            ASSERT_EQ(
                load(with_header(make_bmp8({8, 7, height, 0, 16, 16, gap}, pixel), size, 16), img),
                0);
            expect_picture(img, 2, 7, 4, pixel, test_palette(16));
        }
    }
    // biClrUsed 0 (256 entries) but bfOffBits right after 16 of them.
    bytes file = make_bmp8({8, 7, 4, 0, 16, 0}, pixel);
    ASSERT_EQ(get32(file, 10), 54u + 64);
    tarvel::image img;
    ASSERT_EQ(load(file, img), 0);
    expect_picture(img, 2, 7, 4, pixel, test_palette(16));
}

// Depths other than 8 and 24, compression, too many colours, and headers
// that promise more than the file holds or sizes no image can have: refused
// before the image is touched or much is allocated.
TEST_F(BmpLoad, UnsupportedAndBadFilesAreRefusedLeavingTheImage) {
    // Header fields: offBits at 10, width 18, height 22, bits 28 (written with
    // the zero low half of compression), compression 30, clrUsed 46.
    struct bad {
        const char* what;
        std::vector<std::pair<int, std::uint32_t> > set;  // offset, 32-bit value
        std::size_t keep = SIZE_MAX;  // bytes kept; SIZE_MAX: all, and 4 KiB of pixels more
        bool eightBit = false;
        const char* why = "";  // in the reason
    };
    const bad cases[] = {
        {"16 bits", {{28, 16}}, SIZE_MAX, false, "16 bits per pixel"},
        {"32 bits", {{28, 32}}},
        {"4 bits", {{28, 4}}},
        {"run lengths", {{30, 1}}, SIZE_MAX, true, "RLE8"},
        {"bit fields", {{30, 3}}},
        {"257 colours", {{46, 257}}, SIZE_MAX, true, "257 colours"},
        {"zero width", {{18, 0}}},
        {"negative width", {{18, std::uint32_t(-3)}}},
        {"zero height", {{22, 0}}},
        {"INT_MIN height", {{22, 0x80000000u}}},
        {"one row missing", {}, 54 + 3 * 20, false, "truncated"},
        {"8-bit, one row missing", {}, 1078 + 3 * 8, true},
        {"8-bit, table cut", {}, 54 + 100, true},
        {"header cut", {}, 30, false, "ends inside its headers"},
        {"100000 x 100000", {{18, 100000}, {22, 100000}}, 100},
        {"plane beyond 2^31", {{18, 65536}, {22, 32768}}, 100},
        {"row of 2^31 - 1 pixels", {{18, INT_MAX}, {22, 1}}, 100},
        {"pixels far beyond the end", {{10, 0xfffffff0u}}},
        {"pixels inside the headers", {{10, 50}}, SIZE_MAX, false, "inside the headers"},
        {"8-bit pixels where the table would be",
         {{10, 54}},
         SIZE_MAX,
         true,
         "without a colour table"},
        {"8-byte header", {{14, 8}}, SIZE_MAX, false, "8 bytes"},
        {"100-byte header", {{14, 100}}},
        {"125-byte header", {{14, 125}}},
        {"not BM", {{0, 0x4d41}}, SIZE_MAX, false, "not a BMP"},
    };
    const long before = peak_kib();
    for (const bad& b : cases) {
        SCOPED_TRACE(b.what);
        bytes file =
            b.eightBit ? make_bmp8({8, 6, 4, 0, 256}, picture) : make_bmp24({24, 6, 4}, picture);
        for (const auto& field : b.set) {
            for (int i = 0; i < 4; ++i)
                file[field.first + i] = static_cast<std::uint8_t>(field.second >> 8 * i);
        }
        file.resize(b.keep == SIZE_MAX ? file.size() + 4096 : b.keep);
        expect_refused(file, b.why);
    }
    EXPECT_LT(peak_kib() - before, 64 << 10) << "KiB of peak memory grew";
    tarvel::image img;
    mark(img);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.file_path("missing.bmp").c_str(), nullptr), -1);
    EXPECT_EQ(tarvel::loadWindowsBMP(img, dir.path().c_str(), nullptr), -1);  // a directory
    expect_marker(img);
}

}  // namespace
