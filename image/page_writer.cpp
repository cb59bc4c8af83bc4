// page_writer: pages filled in row order and written once, without the cache.
#include "image/page_writer.h"

#include <cstring>

namespace tarvel {

page_writer::page_writer(image& target) : m_image(target) {
    const int channels = target.GetChannelCount();
    const int perChannel = target.GetPageLen() == 1 ? 2 : 1;
    m_buffers.assign(static_cast<std::size_t>(channels * perChannel), nullptr);
    for (unsigned char*& b : m_buffers) b = new unsigned char[target.GetPageSize()];
    m_rows.assign(static_cast<std::size_t>(channels), nullptr);
    m_previous.assign(static_cast<std::size_t>(channels), nullptr);
    for (int c = 0; c < channels; ++c) m_rows[c] = m_buffers[c * perChannel];
}

page_writer::~page_writer() {
    for (unsigned char* b : m_buffers) delete[] b;
}

// The buffer is lent to the page record for the save, as the cache would.
bool page_writer::write_page(int channel, int index, unsigned char* data) {
    image::scan_page* page = &m_image.m_pageTable[channel][index];
    page->attach(data);
    page->m_dirty = true;
    m_image.SavePage(page);
    page->detach();
    return !page->m_dirty;
}

bool page_writer::next() {
    const int channels = m_image.GetChannelCount();
    const int width = m_image.GetWidth();
    const int pageLen = m_image.GetPageLen();
    for (int c = 0; c < channels; ++c) m_previous[c] = m_rows[c];
    ++m_row;
    ++m_rowInPage;
    const bool lastRow = m_row == m_image.GetHeight();
    if (m_rowInPage < pageLen && !lastRow) {
        for (int c = 0; c < channels; ++c) m_rows[c] += width;
        return m_ok;
    }
    const int perChannel = static_cast<int>(m_buffers.size()) / channels;
    for (int c = 0; c < channels; ++c) {
        unsigned char* data = m_rows[c] - static_cast<std::ptrdiff_t>(m_rowInPage - 1) * width;
        if (lastRow) {  // bytes past the plane's end
            const int used = m_rowInPage * width;
            std::memset(data + used, 0, static_cast<std::size_t>(m_image.GetPageSize() - used));
        }
        if (m_ok && !write_page(c, m_page, data)) m_ok = false;
        // The next page fills the other buffer when a page holds one row;
        // otherwise the same one, from its start, leaving the previous row
        // (at its end) intact until that row is needed no more.
        m_rows[c] = perChannel == 2 && data == m_buffers[2 * c] ? m_buffers[2 * c + 1]
                                                                : m_buffers[c * perChannel];
    }
    ++m_page;
    m_rowInPage = 0;
    return m_ok;
}

}  // namespace tarvel
