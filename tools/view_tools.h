// What `tarvel view` and `tarvel demo` share: the geometry of a view, its
// limits, and rendering it through a host image's bitmap into a PNG file.
#pragma once

#include <string>

#include "host/image.h"

namespace tarvel_cli {

// Limits of a view. It is drawn whole onto a device surface (4 bytes a pixel)
// beside its DIB (up to 3), so 2^25 pixels, more than an 8K screen, take at
// most 224 MiB; larger pictures are the business of `tarvel capture`, which
// streams.
constexpr int kMaxViewSide = 16384;
constexpr long long kMaxViewPixels = 1LL << 25;

// A view: width x height pixels showing the layer-0 rectangle [x0, x1) x
// [y0, y1), y counted from the top as rows are numbered.
struct view_request {
    int width = 0, height = 0;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool smooth = false;
};

// What rendering a view took.
struct view_report {
    int layer = 0;
    double fillSeconds = 0;   // filling the DIB and drawing it
    double writeSeconds = 0;  // writing the PNG file
};

// False with the reason when the view is outside the limits or its
// rectangle is empty or not finite.
bool check_view(const view_request& view, std::string& error);

// Shows the view through image's bitmap (DisplayBitmap onto a device surface
// of the view's size) and writes the surface as a PNG file at zlib level
// pngLevel. False with the reason in error.
bool render_view(KORBAS::CImage& image, const view_request& view, const std::string& out,
                 int pngLevel, view_report& report, std::string& error);

}  // namespace tarvel_cli
