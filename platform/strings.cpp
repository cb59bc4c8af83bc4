// String resources: tables registered by modules, looked up by LoadStringA.
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/platform.h"

namespace {

struct registered_table {
    const STRINGRESOURCE* entries;
    int count;
};

std::map<HINSTANCE, registered_table>& tables() {
    static std::map<HINSTANCE, registered_table> all;
    return all;
}

// Guards the tables: modules may register while other threads look strings up.
std::mutex g_tablesMutex;

}  // namespace

void RegisterStringTable(HINSTANCE hInstance, const STRINGRESOURCE* table, int count) {
    std::lock_guard<std::mutex> guard(g_tablesMutex);
    tables()[hInstance] = registered_table{table, count};
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (!lpBuffer || cchBufferMax <= 0) return 0;
    lpBuffer[0] = '\0';
    std::lock_guard<std::mutex> guard(g_tablesMutex);
    const auto found = tables().find(hInstance);
    if (found == tables().end()) return 0;
    for (int i = 0; i < found->second.count; ++i) {
        const STRINGRESOURCE& entry = found->second.entries[i];
        if (entry.id != uID || !entry.text) continue;
        std::size_t n = std::strlen(entry.text);
        const std::size_t room = static_cast<std::size_t>(cchBufferMax) - 1;
        if (n > room) n = room;
        std::memcpy(lpBuffer, entry.text, n);
        lpBuffer[n] = '\0';
        return static_cast<int>(n);
    }
    return 0;
}
