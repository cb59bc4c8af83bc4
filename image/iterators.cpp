// The pixel iterators pointer (writer pins) and ipointer (reader pins).
//
// Both share one implementation, parameterised by the kind of pin they hold.
#include "image/image.h"

namespace tarvel {

struct image_cursor {
    using scan_page = image::scan_page;

    template <bool Writer>
    static void pin(scan_page* page) {
        if (Writer)
            page->lock();
        else
            page->lock_read();
    }

    template <bool Writer>
    static void unpin(scan_page* page) {
        if (Writer)
            page->unlock();
        else
            page->unlock_read();
    }

    // Fetches plane offset `offset` of the channel and pins its page.
    template <bool Writer>
    static void bind(image* img, int channel, int offset, scan_page*& page, unsigned char*& ptr) {
        img->getPage(channel, offset, page, ptr);
        pin<Writer>(page);
    }

    // Moves to the page holding ptr's position after ptr left the page. The
    // offset is computed before the old pin is released, since the fetch may
    // evict the old page.
    template <bool Writer>
    static void refetch(scan_page*& page, unsigned char*& ptr) {
        const long offset = page->m_offset + (ptr - page->m_data);
        image* img = page->m_owner;
        const int channel = page->m_channel;
        unpin<Writer>(page);
        bind<Writer>(img, channel, clampOffset(offset), page, ptr);
    }

    // A copy of an unbound iterator is unbound.
    template <bool Writer>
    static void copy(const scan_page* from, unsigned char* fromPtr, scan_page*& page,
                     unsigned char*& ptr) {
        page = const_cast<scan_page*>(from);
        ptr = fromPtr;
        if (page != nullptr) pin<Writer>(page);
    }

    template <bool Writer>
    static void copyAt(const scan_page* from, const unsigned char* fromPtr, long delta,
                       scan_page*& page, unsigned char*& ptr) {
        if (from == nullptr) {
            page = nullptr;
            ptr = nullptr;
            return;
        }
        const unsigned char* target = fromPtr + delta;
        if (target >= from->m_data && target <= from->m_end) {
            page = const_cast<scan_page*>(from);
            ptr = const_cast<unsigned char*>(target);
            pin<Writer>(page);
        } else {
            const long offset = from->m_offset + (fromPtr - from->m_data) + delta;
            bind<Writer>(from->m_owner, from->m_channel, clampOffset(offset), page, ptr);
        }
    }

    template <bool Writer>
    static void assign(const scan_page* fromPage, unsigned char* fromPtr, scan_page*& page,
                       unsigned char*& ptr) {
        if (fromPage != page) {
            if (page != nullptr) unpin<Writer>(page);
            page = const_cast<scan_page*>(fromPage);
            if (page != nullptr) pin<Writer>(page);
        }
        ptr = fromPtr;
    }

    // Sample at ptr + i; outside the current page the page holding it is
    // fetched without being pinned, so the address stays valid only until the
    // next fetch on the image.
    static unsigned char* sampleAt(scan_page* page, unsigned char* ptr, int i) {
        unsigned char* target = ptr + i;
        if (target >= page->m_data && target <= page->m_end) return target;
        const long offset = page->m_offset + (ptr - page->m_data) + i;
        scan_page* other = nullptr;
        unsigned char* where = nullptr;
        page->m_owner->getPage(page->m_channel, clampOffset(offset), other, where);
        return where;
    }

    // Offsets beyond the int range are clamped like any offset outside the plane.
    static int clampOffset(long offset) {
        if (offset < 0) return 0;
        if (offset > 0x7fffffffL) return 0x7fffffff;
        return static_cast<int>(offset);
    }
};

using cursor = image_cursor;

// ---- pointer ----

image::pointer::pointer(image* img, int channel, int x, int y) {
    cursor::bind<true>(img, channel, y * img->m_lineLength + x, page, ptr);
}
image::pointer::pointer(image* img, int channel, int offset) {
    cursor::bind<true>(img, channel, offset, page, ptr);
}
image::pointer::pointer(const pointer& p) {
    cursor::copy<true>(p.page, p.ptr, page, ptr);
}
image::pointer::pointer(const pointer& p, int delta) {
    cursor::copyAt<true>(p.page, p.ptr, delta, page, ptr);
}
image::pointer::~pointer() {
    if (page != nullptr) cursor::unpin<true>(page);
}
image::pointer& image::pointer::operator=(int offset) {
    image* img = page->m_owner;
    const int channel = page->m_channel;
    cursor::unpin<true>(page);
    cursor::bind<true>(img, channel, offset, page, ptr);
    return *this;
}
image::pointer& image::pointer::operator=(const pointer& p) {
    cursor::assign<true>(p.page, p.ptr, page, ptr);
    return *this;
}
image::pointer& image::pointer::operator++() {
    if (++ptr > page->m_end) cursor::refetch<true>(page, ptr);
    return *this;
}
image::pointer& image::pointer::operator--() {
    if (--ptr < page->m_data) cursor::refetch<true>(page, ptr);
    return *this;
}
image::pointer& image::pointer::operator+=(int n) {
    ptr += n;
    if (ptr > page->m_end) cursor::refetch<true>(page, ptr);
    return *this;
}
image::pointer& image::pointer::operator-=(int n) {
    ptr -= n;
    if (ptr < page->m_data) cursor::refetch<true>(page, ptr);
    return *this;
}
unsigned char& image::pointer::operator[](int i) const {
    return *cursor::sampleAt(page, ptr, i);
}
void image::pointer::sync() {
    cursor::refetch<true>(page, ptr);
}

// ---- ipointer ----

image::ipointer::ipointer(image* img, int channel, int x, int y) {
    cursor::bind<false>(img, channel, y * img->m_lineLength + x, page, ptr);
}
image::ipointer::ipointer(image* img, int channel, int offset) {
    cursor::bind<false>(img, channel, offset, page, ptr);
}
image::ipointer::ipointer(const ipointer& p) {
    cursor::copy<false>(p.page, p.ptr, page, ptr);
}
image::ipointer::ipointer(const ipointer& p, int delta) {
    cursor::copyAt<false>(p.page, p.ptr, delta, page, ptr);
}
image::ipointer::~ipointer() {
    if (page != nullptr) cursor::unpin<false>(page);
}
image::ipointer& image::ipointer::operator=(int offset) {
    image* img = page->m_owner;
    const int channel = page->m_channel;
    cursor::unpin<false>(page);
    cursor::bind<false>(img, channel, offset, page, ptr);
    return *this;
}
image::ipointer& image::ipointer::operator=(const ipointer& p) {
    cursor::assign<false>(p.page, p.ptr, page, ptr);
    return *this;
}
image::ipointer& image::ipointer::operator++() {
    if (++ptr > page->m_end) cursor::refetch<false>(page, ptr);
    return *this;
}
image::ipointer& image::ipointer::operator--() {
    if (--ptr < page->m_data) cursor::refetch<false>(page, ptr);
    return *this;
}
image::ipointer& image::ipointer::operator+=(int n) {
    ptr += n;
    if (ptr > page->m_end) cursor::refetch<false>(page, ptr);
    return *this;
}
image::ipointer& image::ipointer::operator-=(int n) {
    ptr -= n;
    if (ptr < page->m_data) cursor::refetch<false>(page, ptr);
    return *this;
}
unsigned char image::ipointer::operator[](int i) const {
    return *cursor::sampleAt(page, ptr, i);
}
void image::ipointer::sync() {
    cursor::refetch<false>(page, ptr);
}

}  // namespace tarvel
