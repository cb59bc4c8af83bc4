// row_relay: a ring of row chunks between the decoder's thread and a consumer thread.
#include "pyramid/row_relay.h"

namespace tarvel {

row_relay::row_relay(std::size_t rowBytes, std::uint32_t chunkRows, int chunks, consumer consume)
    : m_rowBytes(rowBytes),
      m_chunkRows(chunkRows),
      m_chunkBytes(rowBytes * chunkRows),
      m_ring(m_chunkBytes * static_cast<std::size_t>(chunks)),
      m_consume(std::move(consume)),
      m_free(static_cast<std::size_t>(chunks), true) {
    m_thread = std::thread([this] { run(); });
}

row_relay::~row_relay() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
        m_failed = true;  // whatever is left is dropped
    }
    m_changed.notify_all();
    m_thread.join();
}

unsigned char* row_relay::room(std::uint64_t k) {
    const int chunk = static_cast<int>((k / m_chunkRows) % m_free.size());
    if (k % m_chunkRows == 0) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_free[chunk]; });
        m_free[chunk] = false;
    }
    return chunk_start(chunk) + (k % m_chunkRows) * m_rowBytes;
}

bool row_relay::put(std::uint64_t k, bool last) {
    const std::uint32_t inChunk = static_cast<std::uint32_t>(k % m_chunkRows) + 1;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (inChunk == m_chunkRows || last) {
        m_ready.push_back({static_cast<int>((k / m_chunkRows) % m_free.size()), inChunk});
        m_changed.notify_all();
    }
    return !m_failed;
}

bool row_relay::finish() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
    return !m_failed;
}

void row_relay::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return !m_ready.empty() || m_ending; });
        if (m_ready.empty()) return;  // ending, and every chunk is consumed
        const ready_chunk next = m_ready.front();
        m_ready.pop_front();
        const bool consume = !m_failed;
        lock.unlock();
        bool ok = true;
        const unsigned char* row = chunk_start(next.chunk);
        for (std::uint32_t i = 0; consume && ok && i < next.rows; ++i, row += m_rowBytes)
            ok = m_consume(row);
        lock.lock();
        if (!ok) m_failed = true;
        m_free[next.chunk] = true;
        m_changed.notify_all();
    }
}

}  // namespace tarvel
