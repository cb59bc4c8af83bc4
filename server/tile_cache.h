// Encoded pictures kept for the requests that come again, within a byte budget.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tarvel {
namespace server {

// An LRU cache of encoded pictures, keyed by the resolved request (pyramid
// tag, region, size, rotation, quality, format, adjustments). Viewers ask
// for the same tiles again and again (every client of a picture, every pan
// back), and encoding costs more than filling.
//
// Owns: the cached bodies, shared with the callers that found them. Memory:
// at most `budget` bytes of bodies and keys (a body above an eighth of it is
// not kept). Threads: any number at once (one mutex; no encoding under it).
class tile_cache {
  public:
    explicit tile_cache(std::size_t budget) : m_budget(budget) {}
    tile_cache(const tile_cache&) = delete;
    tile_cache& operator=(const tile_cache&) = delete;

    using body = std::shared_ptr<const std::string>;
    // The body kept under key, or null.
    body Find(const std::string& key);
    void Insert(const std::string& key, body value);
    std::size_t Bytes() const;

  private:
    struct entry {
        std::string key;
        body value;
    };
    std::size_t m_budget;
    std::size_t m_bytes = 0;
    mutable std::mutex m_mutex;
    std::list<entry> m_entries;  // most recently used first
    std::unordered_map<std::string, std::list<entry>::iterator> m_index;
};

}  // namespace server
}  // namespace tarvel
