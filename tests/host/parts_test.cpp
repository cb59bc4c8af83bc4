// The part list: eviction from the least recently used end, pins and buffer
// handover, bytes surviving save and load, flushing one entity, reservations,
// and resident memory staying near the limit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/parts.h"
#include "tests/resident_memory.h"

using img::COverlaidImagePartList;
using img::IOverlaidEntity;
using tarvel_test::resident_bytes;
using List = IOverlaidEntity::IEntityPartList;

namespace {

using Part = IOverlaidEntity::IEntityPart;

// Loaded parts from the least recently used end, by first byte.
std::string order(const List& list) {
    std::string names;
    for (auto* p = list.m_pHead; p; p = p->m_pNext) {
        names += static_cast<char>(*static_cast<unsigned char*>(p->m_pData));
        EXPECT_EQ(p->m_pNext ? p->m_pNext->m_pPrev : list.m_pTail, p);
    }
    return names;
}

// Uses a part once, marking its first byte with its name.
void touch(Part& part, char name) {
    img::CPartUse(&part).data()[0] = static_cast<unsigned char>(name);
}

}  // namespace

TEST(PartList, EvictsLeastRecentlyUsedKeepsBytesAndFlushesOneEntity) {
    const unsigned S = 1000;
    List list(2 * S);
    IOverlaidEntity one, two;
    Part a(&one, &list, S), b(&one, &list, S), c(&two, &list, S), d(&two, &list, S);
    {
        img::CPartUse use(&a);
        EXPECT_EQ(use.data()[S - 1], 0);  // never saved: zeros
        for (unsigned i = 0; i < S; ++i) use.data()[i] = static_cast<unsigned char>(i * 7 + 'a');
    }
    touch(b, 'b');
    void* const aBuffer = a.m_pData;
    touch(c, 'c');  // at the limit: a goes, its buffer to c
    EXPECT_EQ(order(list), "bc");
    EXPECT_EQ(c.m_pData, aBuffer);
    touch(b, 'b');  // moves to the most recently used end, so c goes next
    touch(d, 'd');
    EXPECT_EQ(order(list), "bd");
    EXPECT_EQ(list.GetBytesInUse(), 2 * S);
    // Pinned parts are skipped and the limit gives way when nothing else can go;
    // a comes back with the bytes it had.
    {
        img::CPartUse pinB(&b), pinD(&d), use(&a);
        for (unsigned i = 0; i < S; ++i)
            ASSERT_EQ(use.data()[i], static_cast<unsigned char>(i * 7 + 'a'));
        EXPECT_EQ(order(list), "bda");
        EXPECT_EQ(list.GetBytesInUse(), 3 * S);
    }
    touch(c, 'c');  // unpinned again, b and d go before the limit is met
    EXPECT_EQ(order(list), "ac");
    // A flush saves and unloads the entity's parts, except pinned ones.
    list.SetByteLimit(10 * S);
    touch(b, 'b');
    touch(d, 'd');
    {
        img::CPartUse pin(&b);
        list.Flush(&one);
        EXPECT_EQ(order(list), "cdb");
    }
    list.Flush(&one);
    EXPECT_EQ(order(list), "cd");
    EXPECT_EQ(list.GetBytesInUse(), 2 * S);
    EXPECT_EQ(img::CPartUse(&b).data()[0], 'b');  // saved by the flush
}

TEST(PartList, OneSharedListReservedByCount) {
    ASSERT_EQ(COverlaidImagePartList::GetReservationCount(), 0u);
    COverlaidImagePartList* first = COverlaidImagePartList::ReserveInstance();
    EXPECT_EQ(COverlaidImagePartList::ReserveInstance(), first);
    EXPECT_EQ(COverlaidImagePartList::GetReservationCount(), 2u);
    COverlaidImagePartList::SetDefaultByteLimit(1 << 20);
    EXPECT_EQ(first->GetByteLimit(), 1u << 20);  // the live list follows
    COverlaidImagePartList::ReleaseInstance();
    EXPECT_EQ(COverlaidImagePartList::GetReservationCount(), 1u);
    COverlaidImagePartList::ReleaseInstance();
    COverlaidImagePartList::ReleaseInstance();  // one too many: ignored
    EXPECT_EQ(COverlaidImagePartList::GetReservationCount(), 0u);
    COverlaidImagePartList::SetDefaultByteLimit(COverlaidImagePartList::kDefaultByteLimit);
}

TEST(PartList, ResidentMemoryStaysNearTheLimitWhileTwentyTimesItIsTouched) {
#ifdef TARVEL_ASAN  // defined by the build for sanitizer builds
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory in quarantine";
#endif
    const unsigned limit = 4u << 20;
    COverlaidImagePartList::SetDefaultByteLimit(limit);
    COverlaidImagePartList* list = COverlaidImagePartList::ReserveInstance();
    IOverlaidEntity e;
    // Parts of several sizes in no order that could line up, so that evicted
    // buffers are really freed and new ones of other sizes allocated.
    const unsigned sizes[] = {192u << 10, 256u << 10, 768u << 10, 200u << 10};
    std::vector<std::unique_ptr<Part> > parts;
    for (unsigned seed = 12345, total = 0; total < 20 * limit; total += parts.back()->m_nSize) {
        seed = seed * 1103515245u + 12345u;
        parts.push_back(std::make_unique<Part>(&e, list, sizes[(seed >> 16) % 4]));
    }
    const long long before = resident_bytes();
    long long peak = before;
    // Small blocks the rest of a program allocates meanwhile; on a heap they
    // would sit between part buffers and keep freed ones from merging.
    std::vector<std::unique_ptr<char[]> > others;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::memset(img::CPartUse(parts[i].get()).data(), int(i & 0xff), parts[i]->m_nSize);
        others.push_back(std::make_unique<char[]>(64));
        if (i % 8 == 0) peak = std::max(peak, resident_bytes());
    }
    peak = std::max(peak, resident_bytes());
    EXPECT_LT(peak - before, static_cast<long long>(limit) + (8 << 20));
    // Flushed, the parts' memory goes back to the system, not just to the heap.
    list->Flush(&e);
    EXPECT_LT(resident_bytes() - before, 2 << 20);
    for (std::size_t i : {std::size_t(0), parts.size() / 2})
        EXPECT_EQ(img::CPartUse(parts[i].get()).data()[parts[i]->m_nSize - 1], i & 0xff);
    parts.clear();
    COverlaidImagePartList::ReleaseInstance();
    COverlaidImagePartList::SetDefaultByteLimit(COverlaidImagePartList::kDefaultByteLimit);
}
