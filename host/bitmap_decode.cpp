// CBitmapWindows(owner, path, decode): the whole picture decoded into the DIB
// through the row stream; the process-wide decoding limit.
#include <atomic>

#include "host/bitmap.h"
#include "host/decode/dib_target.h"

namespace KORBAS {

namespace {

std::atomic<std::size_t> g_decodeLimit{kMaxDibBytes};

}  // namespace

void CBitmapWindows::SetDecodeLimit(std::size_t bytes) {
    g_decodeLimit = bytes < kMaxDibBytes ? bytes : kMaxDibBytes;
}

std::size_t CBitmapWindows::GetDecodeLimit() {
    return g_decodeLimit;
}

CBitmapWindows::CBitmapWindows(CImage* owner, const char* path, bool decodePixels)
    : CBitmapWindows(owner) {
    try {
        DibTarget target(*this, decodePixels);
        decode::DecodeRows(path, target);
    } catch (...) {
        freeDIB();
        throw;
    }
}

}  // namespace KORBAS
