// The row stream: what each decoder hands a sink (order, bands, interlaced
// passes, stopping), and the DIB sink placing the rows of turned pictures.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "host/decode/dib_target.h"
#include "image/test_access.h"
#include "writers.h"

using namespace tarvel_test;
using KORBAS::decode::Orientation;
using KORBAS::decode::PictureLayout;

namespace {

// Keeps every row as last put, and checks the order of calls as it goes.
class RecordingSink : public KORBAS::decode::RowSink {
  public:
    PictureLayout layout;
    std::vector<bytes> rows;  // stored rows as last put
    std::size_t puts = 0;
    std::size_t mostOutstanding = 0;
    bool ordered = true;  // rows put in the order asked, each once when in order
    long stopAfter = -1;  // put returns false after this row

    bool start(const PictureLayout& l) noexcept override {
        layout = l;
        table.assign(256, RGBQUAD{});
        rows.assign(l.height, bytes(l.rowBytes()));
        return true;
    }
    RGBQUAD* colours() noexcept override { return table.data(); }
    bool wantsPixels() const noexcept override { return true; }
    unsigned char* row(std::uint32_t y) noexcept override {
        outstanding.push_back({y, rows[y]});  // a row asked again holds what it had
        mostOutstanding = std::max(mostOutstanding, outstanding.size());
        return outstanding.back().second.data();
    }
    bool put(std::uint32_t y) noexcept override {
        ordered = ordered && !outstanding.empty() && outstanding.front().first == y &&
                  (!layout.inOrder || y == puts);
        rows[y] = outstanding.front().second;
        outstanding.pop_front();
        ++puts;
        return static_cast<long>(y) != stopAfter;
    }
    const char* reason() const noexcept override { return "stopped on purpose"; }

    bytes picture() const {
        bytes all;
        for (const bytes& r : rows) all.insert(all.end(), r.begin(), r.end());
        return all;
    }

  private:
    std::vector<RGBQUAD> table;
    std::deque<std::pair<std::uint32_t, bytes>> outstanding;
};

bytes pattern(std::size_t n) {
    bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    return b;
}

bytes toBgr(bytes b) {
    for (std::size_t i = 0; i + 3 <= b.size(); i += 3) std::swap(b[i], b[i + 2]);
    return b;
}

// Exposes the protected constructor: a bitmap with no DIB yet.
class EmptyDib : public KORBAS::CBitmapWindows {
  public:
    EmptyDib() : CBitmapWindows(nullptr) {}
};

}  // namespace

TEST(RowStream, DecodersHandRowsFromTheTopInBands) {
    scratch_dir dir;
    const auto file = [&](const std::string& name) { return dir.file_path(name); };
    struct Case {
        std::string name;
        bytes want;  // stored rows, top first
        std::uint32_t bandRows;
        bool inOrder;
    };
    std::vector<Case> cases;

    // BMP rows come in bands of about a mebibyte: 700 rows of 3000 bytes span three.
    const auto rgbPixel = [](int c, int x, int y) { return std::uint8_t(x * 3 + y * 5 + c * 80); };
    bytes bmpWant;
    for (int y = 0; y < 700; ++y)
        for (int x = 0; x < 1000; ++x)
            for (int c = 2; c >= 0; --c) bmpWant.push_back(rgbPixel(c, x, y));
    write_bytes(file("up.bmp"), make_bmp24({24, 1000, 700}, rgbPixel));
    write_bytes(file("down.bmp"), make_bmp24({24, 1000, -700}, rgbPixel));
    cases.push_back({"up.bmp", bmpWant, 1, true});
    cases.push_back({"down.bmp", bmpWant, 1, true});

    // TIFF: a row of 16 x 16 tiles at a time; strips and separate planes a row at a time.
    const bytes t = pattern(3 * 37 * 35);
    writeTiff(file("tiles.tif"), {37, 35, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, 16}, t);
    writeTiff(file("planes.tif"), {37, 35, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, 0, true}, t);
    writeTiff(file("strips.tif"), {37, 35, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW}, t);
    cases.push_back({"tiles.tif", toBgr(t), 16, true});
    cases.push_back({"planes.tif", toBgr(t), 3, true});
    cases.push_back({"strips.tif", toBgr(t), 1, true});

    // PNG: interlaced rows come once per pass that has pixels in them.
    const bytes g = pattern(13 * 11);
    writePng(file("plain.png"), 13, 11, PNG_COLOR_TYPE_GRAY, 8, g);
    writePng(file("adam7.png"), 13, 11, PNG_COLOR_TYPE_GRAY, 8, g, {}, true);
    cases.push_back({"plain.png", g, 1, true});
    cases.push_back({"adam7.png", g, 1, false});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        KORBAS::decode::DecodeRows(file(c.name).c_str(), sink);
        EXPECT_EQ(sink.layout.bandRows, c.bandRows);
        EXPECT_EQ(sink.layout.inOrder, c.inOrder);
        EXPECT_TRUE(sink.ordered);
        EXPECT_LE(sink.mostOutstanding, c.bandRows);
        EXPECT_TRUE(sink.picture() == c.want);
        // Adam7 on 13 x 11: passes 1 to 7 have rows in 2, 2, 1, 3, 3, 6 and 5 rows.
        EXPECT_EQ(sink.puts, c.inOrder ? sink.rows.size() : 22u);
    }
}

TEST(RowStream, ASinkStopsTheDecoderWithItsReason) {
    scratch_dir dir;
    const std::string path = dir.file_path("c.jpg");
    writeJpeg(path, 40, 30, 3, pattern(40 * 30 * 3));
    RecordingSink sink;
    sink.stopAfter = 5;
    try {
        KORBAS::decode::DecodeRows(path.c_str(), sink);
        FAIL() << "the decoder went on";
    } catch (const KORBAS::CImageDecodeException& e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_EQ(e.reason(), "stopped on purpose");
    }
    EXPECT_EQ(sink.puts, 6u);
}

// Each orientation against the picture it names, made by mirroring and
// transposing a 3 x 2 picture of one byte per pixel.
TEST(RowStream, DibSinkPlacesTurnedRowsUpright) {
    using Grid = std::vector<std::vector<int>>;
    const Grid stored = {{1, 2, 3}, {4, 5, 6}};
    const auto mirror = [](Grid g) {
        for (auto& r : g) std::reverse(r.begin(), r.end());
        return g;
    };
    const auto flip = [](Grid g) {
        std::reverse(g.begin(), g.end());
        return g;
    };
    const auto transpose = [](const Grid& g) {
        Grid t(g[0].size(), std::vector<int>(g.size()));
        for (std::size_t y = 0; y < g.size(); ++y)
            for (std::size_t x = 0; x < g[0].size(); ++x) t[x][y] = g[y][x];
        return t;
    };
    const Grid upright[] = {stored,
                            mirror(stored),
                            flip(mirror(stored)),
                            flip(stored),
                            transpose(stored),
                            mirror(transpose(stored)),
                            flip(mirror(transpose(stored))),
                            flip(transpose(stored))};
    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE(o);
        EmptyDib dib;
        KORBAS::DibTarget target(dib, true);
        PictureLayout layout;
        layout.width = 3;
        layout.height = 2;
        layout.bitCount = 24;
        layout.orientation = static_cast<Orientation>(o);
        ASSERT_TRUE(target.start(layout));
        for (std::uint32_t y = 0; y < 2; ++y) {
            unsigned char* row = target.row(y);
            for (int x = 0; x < 3; ++x)
                for (int c = 0; c < 3; ++c) row[3 * x + c] = std::uint8_t(stored[y][x] * 10 + c);
            ASSERT_TRUE(target.put(y));
        }
        const Grid& want = upright[o - 1];
        ASSERT_EQ(dib.getWidth(), want[0].size());
        bytes expected;
        for (const auto& r : want)
            for (int v : r)
                for (int c = 0; c < 3; ++c) expected.push_back(std::uint8_t(v * 10 + c));
        EXPECT_EQ(picture(dib), expected);
    }
}
