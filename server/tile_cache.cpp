// The LRU cache of encoded pictures.
#include "server/tile_cache.h"

namespace tarvel {
namespace server {

namespace {

std::size_t cost(const std::string& key, const std::string& value) {
    return key.size() + value.size();
}

}  // namespace

tile_cache::body tile_cache::Find(const std::string& key) {
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto found = m_index.find(key);
    if (found == m_index.end()) return nullptr;
    m_entries.splice(m_entries.begin(), m_entries, found->second);
    return found->second->value;
}

void tile_cache::Insert(const std::string& key, body value) {
    if (!value || cost(key, *value) > m_budget / 8) return;
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_index.count(key) != 0) return;  // another worker made it meanwhile
    m_entries.push_front(entry{key, std::move(value)});
    m_index[key] = m_entries.begin();
    m_bytes += cost(key, *m_entries.front().value);
    while (m_bytes > m_budget) {
        const entry& last = m_entries.back();
        m_bytes -= cost(last.key, *last.value);
        m_index.erase(last.key);
        m_entries.pop_back();
    }
}

std::size_t tile_cache::Bytes() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_bytes;
}

}  // namespace server
}  // namespace tarvel
