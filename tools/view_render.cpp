// Rendering a view through a host image's bitmap onto a device surface, and
// writing the surface as a PNG file.
#include <cmath>
#include <memory>
#include <new>

#include "display/display.h"
#include "host/host.h"
#include "tools/console.h"
#include "tools/pyramid_tools.h"
#include "tools/view_tools.h"

namespace tarvel_cli {

bool check_view(const view_request& v, std::string& error) {
    const double edges[] = {v.x0, v.y0, v.x1, v.y1};
    for (double e : edges) {
        if (!std::isfinite(e) || std::fabs(e) > 1e15) {
            error = "the view window's coordinates must be finite numbers";
            return false;
        }
    }
    if (!(v.x1 > v.x0) || !(v.y1 > v.y0)) {
        error = "the view window must have a positive width and height";
        return false;
    }
    if (v.width < 1 || v.height < 1 || v.width > kMaxViewSide || v.height > kMaxViewSide ||
        static_cast<long long>(v.width) * v.height > kMaxViewPixels) {
        error = "a view is 1 to " + std::to_string(kMaxViewSide) + " pixels a side and at most " +
                std::to_string(kMaxViewPixels) + " pixels in all; " + std::to_string(v.width) +
                " x " + std::to_string(v.height) +
                " is not (tarvel capture writes larger pictures)";
        return false;
    }
    return true;
}

bool render_view(KORBAS::CImage& image, const view_request& v, const std::string& out, int pngLevel,
                 view_report& report, std::string& error) {
    if (!check_view(v, error)) return false;
    std::unique_ptr<QDC> dc;
    try {
        dc = std::make_unique<QDC>(v.width, v.height);
    } catch (const std::exception& e) {  // out of memory
        error = std::string("no memory for a device surface of the view: ") + e.what();
        return false;
    }
    image.setSmoothing(v.smooth ? 1 : 0);
    auto give_back = [&image](KORBAS::CBitmap* b) { image.destroyBitmap(b); };
    std::unique_ptr<KORBAS::CBitmap, decltype(give_back)> bitmap(image.createBitmap(), give_back);
    const tarvel::view_window w = tarvel::WindowForView(static_cast<int>(image.getHeight()), v.x0,
                                                        v.y0, v.x1, v.y1, v.width, v.height);
    double start = seconds_now();
    bitmap->DisplayBitmap(*dc, 0, v.height - 1, v.width - 1, 0, w.d1, w.d2, w.d3, w.d4);
    report.fillSeconds = seconds_now() - start;
    const auto* view = dynamic_cast<const tarvel::CBitmapViewWindows*>(bitmap.get());
    if (view && !view->m_pBits) {
        error = "the view could not be filled (out of memory?)";
        return false;
    }
    report.layer = view ? view->GetFillLayer() : 0;
    // A page of a paged layer that could not be read filled zeros: no file then.
    if (const auto* paged = dynamic_cast<const tarvel::CImagePyramid*>(&image)) {
        const tarvel::pyramid& p = paged->getPyramid();
        for (int k = 0; k < p.GetLayerCount(); ++k) {
            if (p.GetLayerAt(k)->GetPageLoadFailures() == 0) continue;
            end_page_message_line();
            error = p.GetLayerAt(k)->GetError();
            return false;
        }
    }
    start = seconds_now();
    if (!dc->SaveAsPNG(out.c_str(), pngLevel, &error)) return false;
    report.writeSeconds = seconds_now() - start;
    return true;
}

}  // namespace tarvel_cli
