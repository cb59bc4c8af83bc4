// Opening a pyramid for one worker and rendering rectangles of it through the pyramid bitmap.
#include "server/pyramid_view.h"

#include <sys/stat.h>

#include <cstring>

namespace tarvel {
namespace server {

pyramid_view::pyramid_view(pyramid* p) : m_adapter(std::make_unique<CImagePyramid>(p)) {
    m_adapter->setSmoothing(1);
    makeBitmap();
}

pyramid_view::~pyramid_view() {
    m_adapter->destroyBitmap(m_bitmap);
}

void pyramid_view::makeBitmap() {
    if (m_bitmap != nullptr) m_adapter->destroyBitmap(m_bitmap);
    m_bitmap = static_cast<CBitmapPyramidWindows*>(m_adapter->createBitmap());
    // Mapped pages already keep a view's rows; buffers stay at the default cache.
    m_bitmap->SetViewCache(false);
}

std::unique_ptr<pyramid_view> pyramid_view::Open(const std::string& directory, std::string& error,
                                                 bool mapPages) {
    // Opening creates a missing directory; a server only reads.
    struct stat st {};
    if (stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = directory + " is not a directory";
        return nullptr;
    }
    auto* p = new pyramid();
    if (!p->Create(directory.c_str(), nullptr) || p->GetLayerCount() < 1) {
        delete p;
        error = directory + " holds no pyramid";
        return nullptr;
    }
    // A tile touches a few hundred bytes of each row it reads, and a page
    // holds whole rows: mapped, only those bytes are read.
    for (int k = 0; k < p->GetLayerCount(); ++k) p->GetLayerAt(k)->SetPageMapping(mapPages);
    return std::unique_ptr<pyramid_view>(new pyramid_view(p));
}

int pyramid_view::Width() const {
    return static_cast<int>(m_adapter->getWidth());
}

int pyramid_view::Height() const {
    return static_cast<int>(m_adapter->getHeight());
}

bool pyramid_view::Render(int x, int y, int width, int height, int outWidth, int outHeight,
                          raster& out, std::string& error) {
    const view_window window = WindowForView(Height(), x, y, static_cast<double>(x) + width,
                                             static_cast<double>(y) + height, outWidth, outHeight);
    if (!m_bitmap->FillView(outWidth, outHeight, window)) {
        error = "cannot fill a picture of " + std::to_string(outWidth) + " x " +
                std::to_string(outHeight) + " pixels";
        return false;
    }
    const unsigned char* row = m_bitmap->getBeginImage();
    const int step = m_bitmap->getScanLineOffset();
    const bool colour = m_bitmap->getDibBitCount() == 24;
    const RGBQUAD* table = colour ? nullptr : m_bitmap->getColorTable();
    const bool grey = Pyramid().GetLayerAt(0)->GetType() == 1;
    out.Resize(outWidth, outHeight, grey ? 1 : 3);
    for (int j = 0; j < outHeight; ++j, row += step) {
        unsigned char* o = out.Row(j);
        if (grey) {
            std::memcpy(o, row, static_cast<size_t>(outWidth));  // the grey ramp: index = level
        } else if (colour) {
            for (int i = 0; i < outWidth; ++i, o += 3) {  // DIB pixels are blue, green, red
                o[0] = row[3 * i + 2];
                o[1] = row[3 * i + 1];
                o[2] = row[3 * i];
            }
        } else {
            for (int i = 0; i < outWidth; ++i, o += 3) {
                const RGBQUAD& c = table[row[i]];
                o[0] = c.rgbRed;
                o[1] = c.rgbGreen;
                o[2] = c.rgbBlue;
            }
        }
    }
    if (static_cast<long long>(outWidth) * outHeight > kKeptDibPixels) makeBitmap();
    return true;
}

}  // namespace server
}  // namespace tarvel
