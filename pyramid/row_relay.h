// Handing decoded rows to a second thread, which consumes them in order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvel {

// A ring of `chunks` chunks of `chunkRows` rows between a producer (the
// decoder's thread) and a consumer thread that the relay starts: the
// producer fills rows and puts them, a chunk at a time the consumer gets
// them, in order, and frees the chunk again. The producer waits only when
// every chunk is full or being consumed.
//
// Owns: the ring and the consumer thread, joined by finish() or the
// destructor (which drops rows not yet consumed).
// Failure: once consume returns false, the rows that follow are dropped and
// put() and finish() return false.
// Threads: room, put and finish on one producer thread; consume runs on the
// relay's thread and must touch nothing the producer uses meanwhile.
class row_relay {
  public:
    using consumer = std::function<bool(const unsigned char* row)>;
    row_relay(std::size_t rowBytes, std::uint32_t chunkRows, int chunks, consumer consume);
    row_relay(const row_relay&) = delete;
    row_relay& operator=(const row_relay&) = delete;
    ~row_relay();

    // Room for row number k (counted from 0, in the order asked).
    unsigned char* room(std::uint64_t k);
    // Row number k is filled; last: no row follows. False once consume failed.
    bool put(std::uint64_t k, bool last);
    // Waits until every row put is consumed and ends the thread. False when
    // consume failed.
    bool finish();

  private:
    struct ready_chunk {
        int chunk;
        std::uint32_t rows;
    };
    void run();
    unsigned char* chunk_start(int chunk) { return m_ring.data() + chunk * m_chunkBytes; }

    std::size_t m_rowBytes;
    std::uint32_t m_chunkRows;
    std::size_t m_chunkBytes;
    std::vector<unsigned char> m_ring;
    consumer m_consume;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<bool> m_free;         // chunks the producer may fill
    std::deque<ready_chunk> m_ready;  // chunks put, in order
    bool m_ending = false;            // no chunk will be put any more
    bool m_failed = false;
    std::thread m_thread;
};

}  // namespace tarvel
