// One opened view of a stored pyramid that renders any rectangle of it at any
// size through the display's pyramid bitmap, as `tarvel view` shows it.
#pragma once

#include <memory>
#include <string>

#include "display/display.h"
#include "server/raster.h"

namespace tarvel {
namespace server {

// A pyramid opened from its directory for one worker, with the host image
// adapter and the bitmap the display fills (smooth).
//
// Owns: its own adapter, which owns the pyramid (layers, page caches and
// mappings), and the adapter's bitmap with its DIB. Several views of one
// directory share nothing but the files, so each may be used by its own
// thread. A DIB larger than kKeptDibPixels is let go after each picture, so
// that an idle view keeps at most that much of it. Failure: Render leaves
// `out` undefined and says why in error. Threads: one thread at a time.
class pyramid_view {
  public:
    // Pixels of the last picture's DIB a view keeps for the next one.
    static constexpr long long kKeptDibPixels = 1 << 20;

    // Opens the pyramid stored in directory; null with a reason when there is
    // none. Its layers map their page files (image::SetPageMapping) unless
    // mapPages is false.
    static std::unique_ptr<pyramid_view> Open(const std::string& directory, std::string& error,
                                              bool mapPages = true);
    ~pyramid_view();
    pyramid_view(const pyramid_view&) = delete;
    pyramid_view& operator=(const pyramid_view&) = delete;

    int Width() const;
    int Height() const;
    int LayerCount() const { return Pyramid().GetLayerCount(); }
    const pyramid& Pyramid() const { return m_adapter->getPyramid(); }

    // Renders the rectangle [x, x + width) x [y, y + height) of layer-0
    // pixels, rows from the top, into outWidth x outHeight pixels: grey for a
    // grey pyramid, red, green, blue otherwise (palette entries looked up).
    // Each output pixel samples the centre of its share of the rectangle,
    // bilinearly, from the layer that suits the scale. The caller keeps the
    // rectangle inside the image.
    bool Render(int x, int y, int width, int height, int outWidth, int outHeight, raster& out,
                std::string& error);

  private:
    explicit pyramid_view(pyramid* p);
    void makeBitmap();

    std::unique_ptr<CImagePyramid> m_adapter;
    CBitmapPyramidWindows* m_bitmap = nullptr;  // handed back to the adapter
};

}  // namespace server
}  // namespace tarvel
