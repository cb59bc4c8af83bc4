// WindowForView: the image window that shows a rectangle of pixels in a view
// of a given size, each view pixel sampling the centre of its share.
#include "display/display.h"

namespace tarvel {

view_window WindowForView(int imageHeight, double x0, double y0, double x1, double y1, int width,
                          int height) {
    // Half a view pixel in from each edge, in image pixels.
    const double hx = 0.5 * (x1 - x0) / (width > 1 ? width : 1);
    const double hy = 0.5 * (y1 - y0) / (height > 1 ? height : 1);
    // Image y grows upward from the bottom edge.
    return view_window{x0 + hx, imageHeight - y1 + hy, x1 - hx, imageHeight - y0 - hy};
}

}  // namespace tarvel
