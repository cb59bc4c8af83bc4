// The part list's swap file: slots of part-sized byte runs in one unlinked
// temporary file, reused by parts of the same size.
#pragma once

#include <map>
#include <vector>

#include "host/parts.h"

namespace img {

// Owns: the open descriptor of a file created in the temporary directory and
// deleted at once, so that it disappears with the process.
// Failure: every operation throws std::system_error naming what failed; a
// failed write or read leaves the slots as they were.
// Threads: as its list.
class IOverlaidEntity::IEntityPartList::SwapFile {
  public:
    SwapFile();
    ~SwapFile();
    SwapFile(const SwapFile&) = delete;
    SwapFile& operator=(const SwapFile&) = delete;

    // A slot of size bytes: a released one of that size, or a new one at the end.
    long long reserve(unsigned size);
    // Gives a slot back for reuse.
    void release(long long offset, unsigned size);
    void write(long long offset, const void* bytes, unsigned size);
    void read(long long offset, void* bytes, unsigned size);

  private:
    int m_fd;
    long long m_end = 0;
    std::map<unsigned, std::vector<long long>> m_free;  // released slots by size
};

}  // namespace img
