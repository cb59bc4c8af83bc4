// KORBAS::CPngWriter: writes a PNG file from DIB rows streamed top row first,
// so that a picture of any height needs only the rows at hand in memory.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/windows_types.h"

namespace KORBAS {

// zlib compression levels. The fast level is the default: at it a view is
// written in a fraction of the time the default zlib level takes, for files
// about a fifth larger. The small level gives the smallest files.
constexpr int kPngFastLevel = 1;
constexpr int kPngSmallLevel = 9;

// A PNG file being written.
//
// Rows come as DIB rows, top row first: 8 bits per pixel with a colour table
// (a grey ramp, entry i being (i, i, i), gives a grey PNG; any other table a
// palette PNG), 24 bits (blue, green, red) or 32 bits (blue, green, red,
// unused, as a device surface holds them). The file is written under an
// exclusive temporary name beside the target (tarvel::output_file: mode 0600,
// links never followed, removed on a signal) and renamed onto it by Finish, so
// a failed or abandoned write never leaves a partial file under the target's
// name.
//
// Owns: the open temporary file and libpng's state; the destructor of an
// unfinished writer removes the temporary file.
// Failure: every operation returns false and records the reason (GetError);
// after a failure only destruction is useful.
// Threads: one thread at a time; different writers on different threads are safe.
class CPngWriter {
  public:
    CPngWriter();
    ~CPngWriter();
    CPngWriter(const CPngWriter&) = delete;
    CPngWriter& operator=(const CPngWriter&) = delete;

    // Starts the file at path for a width x height picture whose rows have
    // bitCount bits per pixel (8, 24 or 32); table and colours describe the
    // colour table of 8-bit rows (1 to 256 entries). level is zlib's, 0 to 9.
    bool Open(const char* path, int width, int height, int bitCount, const RGBQUAD* table,
              int colours, int level = kPngFastLevel);
    // Writes the next count rows; row k starts at rows + k * stride.
    bool WriteRows(const unsigned char* rows, int count, std::ptrdiff_t stride);
    // Completes the file once all rows are written and renames it onto the target.
    bool Finish();

    // Why the last failed operation failed.
    const std::string& GetError() const { return m_error; }

  private:
    struct state;
    bool fail(const std::string& reason);

    std::unique_ptr<state> m_state;
    std::string m_error;
};

}  // namespace KORBAS
