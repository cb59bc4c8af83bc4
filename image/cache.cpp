// The page cache: fetching pages, least-recently-used eviction with buffer reuse, flushing.
#include "image/image.h"

namespace tarvel {

void image::unlinkPage(scan_page* page) {
    if (page->m_newer != nullptr)
        page->m_newer->m_older = page->m_older;
    else
        m_newest = page->m_older;
    if (page->m_older != nullptr)
        page->m_older->m_newer = page->m_newer;
    else
        m_oldest = page->m_newer;
    page->m_newer = page->m_older = nullptr;
}

void image::linkAtHead(scan_page* page) {
    page->m_older = m_newest;
    page->m_newer = nullptr;
    if (m_newest != nullptr)
        m_newest->m_newer = page;
    else
        m_oldest = page;
    m_newest = page;
}

// Walks the cache list from the oldest page towards the newest and takes
// unpinned pages out of memory, saving them first. With stopBelowLimit only
// pages of one kind go (mapped ones when `mapped` is set, buffered ones
// otherwise) until fewer than that kind's limit remain; without it every
// unpinned page goes. The buffer of the first buffered page taken goes to
// *reuse when reuse is given; the others are freed.
void image::evictFromTail(bool stopBelowLimit, unsigned char** reuse, bool mapped) {
    scan_page* page = m_oldest;
    while (page != nullptr) {
        if (stopBelowLimit &&
            (mapped ? m_mappedCount < kMappedPageLimit : m_inMemory < cachePages()))
            break;
        scan_page* next = page->m_newer;
        if (page->m_lockCount == 0 && (!stopBelowLimit || page->m_mapped == mapped)) {
            unlinkPage(page);
            --(page->m_mapped ? m_mappedCount : m_inMemory);
            SavePage(page);
            if (reuse != nullptr && *reuse == nullptr && !page->m_mapped)
                *reuse = page->detach();
            else
                page->close(true);
        }
        page = next;
    }
}

bool image::getPage(int channel, int offset, scan_page*& page, unsigned char*& ptr) {
    const int last = m_lineLength * m_lineCount - 1;
    if (offset > last) offset = last;
    if (offset < 0) offset = 0;
    if (channel >= m_channels) channel = m_channels - 1;
    if (channel < 0) channel = 0;

    scan_page* record = &m_pageTable[channel][offset / m_pageSize];
    if (record->m_data != nullptr) {
        if (record != m_newest) {
            unlinkPage(record);
            linkAtHead(record);
        }
    } else {
        bool mapped = false;
        if (m_mapPages && !m_mappingActive) {
            if (m_mappedCount >= kMappedPageLimit) evictFromTail(true, nullptr, true);
            mapped = record->map();
        }
        if (mapped) {
            ++m_mappedCount;
        } else {
            unsigned char* reuse = nullptr;
            if (m_inMemory >= cachePages()) evictFromTail(true, &reuse);
            ++m_inMemory;
            record->attach(reuse != nullptr ? reuse : new unsigned char[m_pageSize]);
            FillPage(record);
        }
        linkAtHead(record);
    }
    page = record;
    ptr = record->m_data + offset % m_pageSize;
    return true;
}

void image::FillPage(scan_page* page) {
    page->load();
    if (!m_mappingActive || page->m_data == nullptr || m_intensityTable == nullptr) return;
    const unsigned char* table = m_intensityTable;
    unsigned char* bytes = page->m_data;
    for (int i = 0; i < m_pageSize; ++i) bytes[i] = table[bytes[i]];
}

void image::SavePage(scan_page* page) {
    page->save();
}

bool image::Flush() {
    evictFromTail(false, nullptr);
    return m_saveFailures == 0;
}

void image::refillPinnedPages() {
    for (scan_page* page = m_newest; page != nullptr; page = page->m_older) FillPage(page);
}

void image::SetCacheBudget(long long bytes) {
    if (m_pageTable == nullptr) return;
    const long long whole = static_cast<long long>(m_pageCount) * m_channels;
    long long pages = bytes > 0 ? bytes / m_pageSize : 0;
    if (pages > whole) pages = whole;
    pages -= pages % m_channels;
    m_budgetPages = pages > m_cacheLimit ? static_cast<int>(pages) : 0;
    if (m_inMemory > cachePages()) evictFromTail(true, nullptr);
}

long long image::GetCacheBudget() const {
    return static_cast<long long>(cachePages()) * m_pageSize;
}

void image::ForceFlush() {
    Flush();
    refillPinnedPages();
}

}  // namespace tarvel
