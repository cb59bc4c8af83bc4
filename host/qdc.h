// QDC: the host's device-context wrapper, here over a software surface of
// 32-bit pixels that can be saved as a PNG file.
#pragma once

#include <cstdint>
#include <string>

#include "host/png_writer.h"
#include "platform/windows_types.h"

// A device context with a surface of its own.
//
// Owns: the surface behind m_hDC (width x height pixels, 0x00RRGGBB, rows from
// the top), white at construction. Drawing goes through the GDI functions of
// platform/ with the handle.
// Failure: a size below 1 or above kMaxSurfacePixels throws std::invalid_argument;
// SaveAsPNG returns false (and leaves no partial file) when the file cannot be written.
// Threads: one thread at a time.
class QDC {
  public:
    QDC(int width, int height);
    ~QDC();
    QDC(const QDC&) = delete;
    QDC& operator=(const QDC&) = delete;

    HDC GetHDC() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    int GetWidth() const;
    int GetHeight() const;
    // The pixel at (x, y), 0x00RRGGBB; the caller keeps inside the surface.
    std::uint32_t GetPixel(int x, int y) const;
    const std::uint32_t* GetPixels() const;
    // Fills the surface with one colour (0x00RRGGBB).
    void Clear(std::uint32_t colour);
    // Writes the surface as an 8-bit RGB PNG file at zlib level `level` (see
    // KORBAS::CPngWriter). On failure the reason goes to *error when given.
    bool SaveAsPNG(const char* path, int level = KORBAS::kPngFastLevel,
                   std::string* error = nullptr) const;

    // The Windows device-context handle the system reads.
    HDC m_hDC;
};
