// img::IOverlaidEntity::IEntityPart: one swappable buffer of an entity.
#include <cstring>

#include "host/parts.h"

namespace img {

using IEntityPart = IOverlaidEntity::IEntityPart;

IEntityPart::IEntityPart(IOverlaidEntity* entity, IEntityPartList* list, unsigned size)
    : m_pEntity(entity),
      m_pList(list),
      m_pData(nullptr),
      m_nSize(size),
      m_nLock(0),
      m_pNext(nullptr),
      m_pPrev(nullptr),
      m_nSwapOffset(-1) {}

// Parts are destroyed without a flush first: a loaded one leaves its list here.
IEntityPart::~IEntityPart() {
    if (m_pList) {
        if (m_pData) m_pList->HandlePartFlush(this);
        m_pList->swapRelease(this);
    }
    delete[] static_cast<unsigned char*>(m_pData);
}

void IEntityPart::Alloc() {
    m_pData = new unsigned char[m_nSize];
}

void IEntityPart::Dealloc() {
    delete[] static_cast<unsigned char*>(m_pData);
    m_pData = nullptr;
}

void IEntityPart::Attach(void* buffer) {
    m_pData = buffer;
}

void* IEntityPart::Detach() {
    void* buffer = m_pData;
    m_pData = nullptr;
    return buffer;
}

void IEntityPart::Load() {
    if (m_pList)
        m_pList->swapRead(this);
    else
        std::memset(m_pData, 0, m_nSize);
}

void IEntityPart::Save() {
    if (m_pList) m_pList->swapWrite(this);
}

}  // namespace img
