// Grey conversion, intensity tables, mirroring and quarter turns of rendered pictures.
#include "server/raster.h"

#include <algorithm>
#include <utility>

namespace tarvel {
namespace server {

void ToGray(raster& r) {
    if (r.channels != 3) return;
    const std::size_t n = static_cast<std::size_t>(r.width) * r.height;
    unsigned char* p = r.pixels.data();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned v = 299u * p[3 * i] + 587u * p[3 * i + 1] + 114u * p[3 * i + 2];
        p[i] = static_cast<unsigned char>((v + 500) / 1000);
    }
    r.channels = 1;
    r.pixels.resize(n);
}

void ApplyTable(raster& r, const unsigned char* table) {
    for (unsigned char& s : r.pixels) s = table[s];
}

void MirrorAndRotate(raster& r, bool mirror, int degrees) {
    if (!mirror && degrees == 0) return;
    const int w = r.width, h = r.height, c = r.channels;
    const bool quarter = degrees == 90 || degrees == 270;
    raster out;
    out.Resize(quarter ? h : w, quarter ? w : h, c);
    for (int y = 0; y < h; ++y) {
        const unsigned char* in = r.Row(y);
        for (int x = 0; x < w; ++x) {
            const int mx = mirror ? w - 1 - x : x;  // column after mirroring
            int ox = mx, oy = y;
            switch (degrees) {
                case 90:
                    ox = h - 1 - y, oy = mx;
                    break;
                case 180:
                    ox = w - 1 - mx, oy = h - 1 - y;
                    break;
                case 270:
                    ox = y, oy = w - 1 - mx;
                    break;
                default:
                    break;
            }
            std::copy_n(in + x * c, c, out.Row(oy) + ox * c);
        }
    }
    r = std::move(out);
}

}  // namespace server
}  // namespace tarvel
