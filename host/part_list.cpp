// img::IOverlaidEntity::IEntityPartList: the byte-limited least-recently-used
// list of loaded parts, its use protocol and its swap file.
#include <cstring>

#include "host/parts.h"
#include "host/swap_file.h"

namespace img {

using IEntityPart = IOverlaidEntity::IEntityPart;
using IEntityPartList = IOverlaidEntity::IEntityPartList;

IEntityPartList::IEntityPartList(unsigned byteLimit)
    : m_pHead(nullptr),
      m_pTail(nullptr),
      m_nLoaded(0),
      m_nLimit(byteLimit),
      m_nUsed(0),
      m_pSwap(nullptr) {}

IEntityPartList::~IEntityPartList() {
    delete m_pSwap;
}

void IEntityPartList::unloadPart(IEntityPart* part) {
    part->Save();
    part->Dealloc();
    HandlePartFlush(part);
}

void IEntityPartList::Flush(IOverlaidEntity* entity) {
    for (IEntityPart* part = m_pHead; part;) {
        IEntityPart* next = part->m_pNext;
        if (part->m_pEntity == entity && part->m_nLock == 0) unloadPart(part);
        part = next;
    }
}

void IEntityPartList::FlushAll() {
    for (IEntityPart* part = m_pHead; part;) {
        IEntityPart* next = part->m_pNext;
        if (part->m_nLock == 0) unloadPart(part);
        part = next;
    }
}

void IEntityPartList::linkAtTail(IEntityPart* part) {
    part->m_pNext = nullptr;
    part->m_pPrev = m_pTail;
    if (m_pTail)
        m_pTail->m_pNext = part;
    else
        m_pHead = part;
    m_pTail = part;
}

IEntityPart* IEntityPartList::HandlePartFlush(IEntityPart* part) {
    IEntityPart* next = part->m_pNext;
    if (part->m_pPrev)
        part->m_pPrev->m_pNext = next;
    else
        m_pHead = next;
    if (next)
        next->m_pPrev = part->m_pPrev;
    else
        m_pTail = part->m_pPrev;
    --m_nLoaded;
    m_nUsed -= part->m_nSize;
    part->m_pNext = nullptr;
    part->m_pPrev = nullptr;
    return next;
}

void* IEntityPartList::UsePart(IEntityPart* part) {
    ++part->m_nLock;
    if (part->m_pData) {
        if (part != m_pTail) {
            // Unlink without touching the count or the bytes in use, then relink.
            if (part->m_pPrev)
                part->m_pPrev->m_pNext = part->m_pNext;
            else
                m_pHead = part->m_pNext;
            part->m_pNext->m_pPrev = part->m_pPrev;
            linkAtTail(part);
        }
        return part->m_pData;
    }
    try {
        // Evict from the least recently used end, skipping pinned parts, until
        // the bytes in use fall below the limit; one buffer of the right size
        // is handed over instead of freed.
        void* reuse = nullptr;
        if (m_nUsed >= m_nLimit) {
            for (IEntityPart* v = m_pHead; v;) {
                if (v->m_nLock != 0) {
                    v = v->m_pNext;
                } else {
                    v->Save();
                    if (!reuse && v->m_nSize == part->m_nSize)
                        reuse = v->Detach();
                    else
                        v->Dealloc();
                    v = HandlePartFlush(v);
                }
                if (m_nUsed < m_nLimit) break;
            }
        }
        if (reuse)
            part->Attach(reuse);
        else
            part->Alloc();
    } catch (...) {
        --part->m_nLock;
        throw;
    }
    ++m_nLoaded;
    m_nUsed += part->m_nSize;
    linkAtTail(part);
    try {
        part->Load();
    } catch (...) {
        HandlePartFlush(part);
        part->Dealloc();
        --part->m_nLock;
        throw;
    }
    return part->m_pData;
}

void IEntityPartList::swapWrite(IEntityPart* part) {
    if (!m_pSwap) m_pSwap = new SwapFile;
    const bool fresh = part->m_nSwapOffset < 0;
    const long long offset = fresh ? m_pSwap->reserve(part->m_nSize) : part->m_nSwapOffset;
    try {
        m_pSwap->write(offset, part->m_pData, part->m_nSize);
    } catch (...) {
        if (fresh) m_pSwap->release(offset, part->m_nSize);
        throw;
    }
    part->m_nSwapOffset = offset;
}

// A part never saved loads as zeros.
void IEntityPartList::swapRead(IEntityPart* part) {
    if (part->m_nSwapOffset < 0 || !m_pSwap)
        std::memset(part->m_pData, 0, part->m_nSize);
    else
        m_pSwap->read(part->m_nSwapOffset, part->m_pData, part->m_nSize);
}

void IEntityPartList::swapRelease(IEntityPart* part) {
    if (part->m_nSwapOffset >= 0 && m_pSwap) m_pSwap->release(part->m_nSwapOffset, part->m_nSize);
    part->m_nSwapOffset = -1;
}

}  // namespace img
