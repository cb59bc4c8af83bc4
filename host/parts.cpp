// img: the part list (stub).
#include "host/parts.h"

namespace img {

using IEntityPart = IOverlaidEntity::IEntityPart;
using IEntityPartList = IOverlaidEntity::IEntityPartList;

IEntityPart::IEntityPart(IOverlaidEntity* entity, IEntityPartList* list, unsigned size)
    : m_pEntity(entity),
      m_pList(list),
      m_pData(nullptr),
      m_nSize(size),
      m_nLock(0),
      m_pNext(nullptr),
      m_pPrev(nullptr),
      m_nSwapOffset(-1) {}
IEntityPart::~IEntityPart() {
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
    void* p = m_pData;
    m_pData = nullptr;
    return p;
}
void IEntityPart::Load() {}
void IEntityPart::Save() {}

IEntityPartList::IEntityPartList(unsigned byteLimit)
    : m_pHead(nullptr),
      m_pTail(nullptr),
      m_nLoaded(0),
      m_nLimit(byteLimit),
      m_nUsed(0),
      m_pSwap(nullptr) {}
IEntityPartList::~IEntityPartList() = default;
void IEntityPartList::Flush(IOverlaidEntity*) {}
void IEntityPartList::FlushAll() {}
void* IEntityPartList::UsePart(IEntityPart* part) {
    ++part->m_nLock;
    if (!part->m_pData) part->Alloc();
    return part->m_pData;
}
IEntityPart* IEntityPartList::HandlePartFlush(IEntityPart* part) {
    return part->m_pNext;
}
void IEntityPartList::swapWrite(IEntityPart*) {}
void IEntityPartList::swapRead(IEntityPart*) {}
void IEntityPartList::swapRelease(IEntityPart*) {}
void IEntityPartList::unloadPart(IEntityPart*) {}
void IEntityPartList::linkAtTail(IEntityPart*) {}

namespace {
COverlaidImagePartList* g_list = nullptr;
unsigned g_reservations = 0;
unsigned g_limit = COverlaidImagePartList::kDefaultByteLimit;
}  // namespace

COverlaidImagePartList::COverlaidImagePartList(unsigned byteLimit) : IEntityPartList(byteLimit) {}
COverlaidImagePartList::~COverlaidImagePartList() = default;
COverlaidImagePartList* COverlaidImagePartList::ReserveInstance() {
    if (!g_list) g_list = new COverlaidImagePartList(g_limit);
    ++g_reservations;
    return g_list;
}
void COverlaidImagePartList::ReleaseInstance() {
    if (g_reservations && --g_reservations == 0) {
        delete g_list;
        g_list = nullptr;
    }
}
unsigned COverlaidImagePartList::GetReservationCount() {
    return g_reservations;
}
void COverlaidImagePartList::SetDefaultByteLimit(unsigned bytes) {
    g_limit = bytes;
    if (g_list) g_list->SetByteLimit(bytes);
}
unsigned COverlaidImagePartList::GetDefaultByteLimit() {
    return g_limit;
}

}  // namespace img
