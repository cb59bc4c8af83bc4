// Opening a pyramid for one worker and rendering rectangles of it.
#include "server/pyramid_view.h"

#include <sys/stat.h>

#include <vector>

namespace tarvel {
namespace server {

std::unique_ptr<pyramid_view> pyramid_view::Open(const std::string& directory, std::string& error,
                                                 bool mapPages) {
    // Opening creates a missing directory; a server only reads.
    struct stat st {};
    if (stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = directory + " is not a directory";
        return nullptr;
    }
    std::unique_ptr<pyramid_view> view(new pyramid_view());
    if (!view->m_pyramid.Create(directory.c_str(), nullptr)) {
        error = directory + " holds no pyramid";
        return nullptr;
    }
    // A tile touches a few hundred bytes of each row it reads, and a page
    // holds whole rows: mapped, only those bytes are read.
    for (int k = 0; k < view->m_pyramid.GetLayerCount(); ++k)
        view->m_pyramid.GetLayerAt(k)->SetPageMapping(mapPages);
    return view;
}

int pyramid_view::Width() const {
    return m_pyramid.GetLayerCount() > 0 ? m_pyramid.GetLayerAt(0)->GetWidth() : 0;
}

int pyramid_view::Height() const {
    return m_pyramid.GetLayerCount() > 0 ? m_pyramid.GetLayerAt(0)->GetHeight() : 0;
}

bool pyramid_view::Render(int x, int y, int width, int height, int outWidth, int outHeight,
                          raster& out, std::string& error) {
    image view;
    if (!m_pyramid.Capture(view, outWidth, outHeight, x, y, width, height)) {
        error = "cannot make the picture";
        return false;
    }
    const int type = view.GetType();
    const unsigned char* palette = type == 2 ? view.GetPalette() : nullptr;
    const int channels = type == 3 ? 3 : 1;
    out.Resize(outWidth, outHeight, type == 1 ? 1 : 3);
    std::vector<unsigned char> plane(static_cast<std::size_t>(outWidth) * outHeight);
    for (int c = 0; c < channels; ++c) {
        view.GetRegion(0, 0, outWidth - 1, outHeight - 1, c, plane.data());
        const std::size_t n = plane.size();
        unsigned char* p = out.pixels.data();
        if (type == 1) {
            std::copy(plane.begin(), plane.end(), p);
        } else if (palette != nullptr) {
            for (std::size_t i = 0; i < n; ++i)
                for (int k = 0; k < 3; ++k) p[3 * i + k] = palette[3 * plane[i] + k];
        } else {
            for (std::size_t i = 0; i < n; ++i) p[3 * i + c] = plane[i];
        }
    }
    return true;
}

}  // namespace server
}  // namespace tarvel
