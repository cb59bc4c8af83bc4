// img::COverlaidImagePartList: the one part list of the process, reserved and
// released by count.
#include <malloc.h>

#include "host/parts.h"

namespace img {

namespace {

// glibc raises its mmap threshold after a large mmapped block is freed, so
// that later part buffers come from the heap and may never go back to the
// system. Fixing the threshold at its initial value (which also fixes the trim
// threshold) keeps every buffer of this size or more in its own mapping,
// returned to the system when freed.
constexpr int kMmapThresholdBytes = 128 * 1024;

COverlaidImagePartList* g_list = nullptr;
unsigned g_reservations = 0;
unsigned g_defaultLimit = COverlaidImagePartList::kDefaultByteLimit;

}  // namespace

COverlaidImagePartList::COverlaidImagePartList(unsigned byteLimit) : IEntityPartList(byteLimit) {
#ifdef M_MMAP_THRESHOLD
    mallopt(M_MMAP_THRESHOLD, kMmapThresholdBytes);
#endif
}

COverlaidImagePartList::~COverlaidImagePartList() = default;

COverlaidImagePartList* COverlaidImagePartList::ReserveInstance() {
    if (!g_list) g_list = new COverlaidImagePartList(g_defaultLimit);
    ++g_reservations;
    return g_list;
}

void COverlaidImagePartList::ReleaseInstance() {
    if (g_reservations == 0) return;
    if (--g_reservations == 0) {
        delete g_list;
        g_list = nullptr;
    }
}

unsigned COverlaidImagePartList::GetReservationCount() {
    return g_reservations;
}

void COverlaidImagePartList::SetDefaultByteLimit(unsigned bytes) {
    g_defaultLimit = bytes;
    if (g_list) g_list->SetByteLimit(bytes);
}

unsigned COverlaidImagePartList::GetDefaultByteLimit() {
    return g_defaultLimit;
}

}  // namespace img
