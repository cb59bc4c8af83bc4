// Region reads: copy a rectangle of one channel, or of packed colour, band by band over pages.
#include <cstring>

#include "image/image.h"

namespace tarvel {

namespace {

// One band of a rectangle: the lines of it that lie in one page.
struct band_walk {
    int fetchOffset;  // plane offset of the first column of the band's page
    int lineInPage;   // first line of the band within its page
    int available;    // lines of the page from lineInPage on
    int rows;         // lines of the rectangle still to copy

    band_walk(int x0, int y0, int y1, int pageLen, int pageSize)
        : fetchOffset((y0 / pageLen) * pageSize + x0),
          lineInPage(y0 % pageLen),
          available(pageLen - y0 % pageLen),
          rows(y1 - y0 + 1) {}

    int take() const { return rows < available ? rows : available; }

    // The next page's offset is formed only when rows remain: past the last
    // page of a plane of nearly 2^31 bytes it would not fit an int.
    void next(int taken, int pageLen, int pageSize) {
        rows -= taken;
        if (rows > 0) fetchOffset += pageSize;
        lineInPage = 0;
        available = pageLen;
    }
};

}  // namespace

void image::GetRegion(int x0, int y0, int x1, int y1, int channel, unsigned char* out) {
    if (y1 < y0) return;
    const int n = x1 - x0 + 1;
    band_walk walk(x0, y0, y1, m_pageLen, m_pageSize);
    while (walk.rows > 0) {
        scan_page* page = nullptr;
        unsigned char* src = nullptr;
        getPage(channel, walk.fetchOffset, page, src);
        page->lock_read();
        const int k = walk.take();
        src += walk.lineInPage * m_lineLength;
        if (n > 0) {
            for (int line = 0; line < k; ++line, src += m_width, out += n) {
                std::memcpy(out, src, n);
            }
        }
        walk.next(k, m_pageLen, m_pageSize);
        page->unlock_read();
    }
}

void image::GetRegionRGB(int x0, int y0, int x1, int y1, int* out) {
    if (y1 < y0) return;
    const int n = x1 - x0 + 1;
    const int colourChannels = m_type == 3 ? 3 : 1;
    band_walk walk(x0, y0, y1, m_pageLen, m_pageSize);
    while (walk.rows > 0) {
        scan_page* pages[3] = {nullptr, nullptr, nullptr};
        const unsigned char* src[3] = {nullptr, nullptr, nullptr};
        for (int c = 0; c < colourChannels; ++c) {
            unsigned char* at = nullptr;
            getPage(c, walk.fetchOffset, pages[c], at);
            pages[c]->lock_read();
            src[c] = at + walk.lineInPage * m_lineLength;
        }
        const int k = walk.take();
        for (int line = 0; line < k && n > 0; ++line, out += n) {
            if (colourChannels == 1) {
                for (int i = 0; i < n; ++i) out[i] = src[0][i];
            } else {
                for (int i = 0; i < n; ++i) {
                    out[i] = src[0][i] | (src[1][i] << 8) | (src[2][i] << 16);
                }
            }
            for (int c = 0; c < colourChannels; ++c) src[c] += m_width;
        }
        walk.next(k, m_pageLen, m_pageSize);
        for (int c = 0; c < colourChannels; ++c) pages[c]->unlock_read();
    }
}

}  // namespace tarvel
