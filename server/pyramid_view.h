// One opened view of a stored pyramid that renders any rectangle of it at any size.
#pragma once

#include <memory>
#include <string>

#include "pyramid/pyramid.h"
#include "server/raster.h"

namespace tarvel {
namespace server {

// A pyramid opened from its directory for one worker.
//
// Owns: its own tarvel::pyramid (layers, page caches). Several views of one
// directory share nothing but the files, so each may be used by its own
// thread. Failure: Render leaves `out` undefined and says why in error.
// Threads: one thread at a time.
class pyramid_view {
  public:
    // Opens the pyramid stored in directory; null with a reason when there is
    // none. Its layers map their page files (image::SetPageMapping) unless
    // mapPages is false.
    static std::unique_ptr<pyramid_view> Open(const std::string& directory, std::string& error,
                                              bool mapPages = true);

    int Width() const;
    int Height() const;
    int LayerCount() const { return m_pyramid.GetLayerCount(); }
    const pyramid& Pyramid() const { return m_pyramid; }

    // Renders the rectangle [x, x + width) x [y, y + height) of layer-0
    // pixels, rows from the top, into outWidth x outHeight pixels: grey for a
    // grey pyramid, red, green, blue otherwise (palette layers are looked up).
    // The caller keeps the rectangle inside the image.
    bool Render(int x, int y, int width, int height, int outWidth, int outHeight, raster& out,
                std::string& error);

  private:
    pyramid_view() = default;

    pyramid m_pyramid;
};

}  // namespace server
}  // namespace tarvel
