// RLE8 and RLE4: pairs of a count and a value (two alternating indices for
// RLE4), or a zero and an escape: 0 end of line, 1 end of picture, 2 a move
// right and up, 3 and more that many literal indices padded to two bytes.
#include "host/decode/bmp_rle.h"

#include <cstring>
#include <string>

#include "host/decode/decoders.h"

namespace KORBAS {
namespace decode {

namespace {

constexpr int kEndOfLine = 0;
constexpr int kEndOfPicture = 1;
constexpr int kDelta = 2;

class RunReader {
  public:
    RunReader(std::FILE* file, int bits, const PictureLayout& picture, unsigned char skipped,
              RowSink& sink)
        : m_file(file),
          m_bits(bits),
          m_width(picture.width),
          m_height(picture.height),
          m_skipped(skipped),
          m_sink(sink) {}

    void run() {
        beginRow();
        while (m_y < m_height) {
            const int count = next();
            const int value = next();
            if (count > 0) {
                fill(count, value);
                continue;
            }
            switch (value) {
                case kEndOfLine:
                    endRow();
                    break;
                case kEndOfPicture:
                    while (m_y < m_height) endRow();
                    return;
                case kDelta: {
                    const int right = next();
                    const int up = next();
                    for (int i = 0; i < up && m_y < m_height; ++i) {
                        const std::uint32_t x = m_x;
                        endRow();
                        m_x = x;
                    }
                    if (m_y >= m_height && (up > 0 || right > 0))
                        throw DecodeError("BMP: a run-length move leaves the picture");
                    skip(right);
                    break;
                }
                default:
                    literal(value);
            }
        }
    }

  private:
    int next() {
        const int c = std::fgetc(m_file);
        if (c == EOF) throw DecodeError("BMP: the run-length data ends before the picture does");
        return c;
    }

    void beginRow() {
        m_row = m_sink.row(m_y);
        if (m_row == nullptr) throw DecodeError(m_sink.reason());
        std::memset(m_row, m_skipped, m_width);
        m_x = 0;
    }
    // The rest of the row stays skipped; the next row starts.
    void endRow() {
        if (!m_sink.put(m_y)) throw DecodeError(m_sink.reason());
        if (++m_y < m_height) beginRow();
    }

    void room(int pixels) {
        if (m_y >= m_height || static_cast<std::uint32_t>(pixels) > m_width - m_x)
            throw DecodeError("BMP: a run passes the end of a row");
    }
    void skip(int pixels) {
        room(pixels);
        m_x += static_cast<std::uint32_t>(pixels);
    }
    // count pixels of the value; RLE4 alternates its two indices.
    void fill(int count, int value) {
        room(count);
        for (int i = 0; i < count; ++i)
            m_row[m_x++] = static_cast<unsigned char>(
                m_bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 0x0f));
    }
    // count literal indices, stored in whole bytes padded to an even count.
    void literal(int count) {
        room(count);
        const int bytes = m_bits == 8 ? count : (count + 1) / 2;
        for (int i = 0; i < bytes; ++i) {
            const int byte = next();
            if (m_bits == 8) {
                m_row[m_x++] = static_cast<unsigned char>(byte);
            } else {
                m_row[m_x++] = static_cast<unsigned char>(byte >> 4);
                if (2 * i + 1 < count) m_row[m_x++] = static_cast<unsigned char>(byte & 0x0f);
            }
        }
        if (bytes % 2 != 0) next();
    }

    std::FILE* m_file;
    int m_bits;
    std::uint32_t m_width;
    std::uint32_t m_height;
    unsigned char m_skipped;
    RowSink& m_sink;
    unsigned char* m_row = nullptr;
    std::uint32_t m_x = 0;
    std::uint32_t m_y = 0;
};

}  // namespace

void decodeRunLengths(std::FILE* file, int bits, const PictureLayout& picture,
                      unsigned char skipped, RowSink& sink) {
    RunReader(file, bits, picture, skipped, sink).run();
}

}  // namespace decode
}  // namespace KORBAS
