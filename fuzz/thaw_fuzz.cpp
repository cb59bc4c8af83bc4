// Fuzz target: arbitrary directory files thawed next to a few page files, then read,
// remapped, frozen again and thawed again. A refused thaw says why and changes
// no file; a thawed image reads without a page failure (page files shorter
// than a page are refused); nothing outside the directory may change.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/image.h"
#include "scratch_workspace.h"

namespace {

// Pages are Width bytes for the widest images; reading pixels of those would
// only measure the allocator, so pixels are read only up to this page size.
constexpr int kMaxReadPageSize = 16 << 20;
// What the file outside the image's directory holds; it must never change.
const std::string kSentinel = "outside the image directory";

const fuzz::workspace& setup() {
    return fuzz::scratch_workspace("thaw-fuzz", "img", "outside", kSentinel);
}

// Empties the image directory (consuming thaws and destroys delete files in it)
// and puts the page and palette files the seeds name back.
void reset(const fuzz::workspace& w) {
    fuzz::empty_directory(w.dir);
    const std::string& page = fuzz::page_pattern();
    fuzz::put(w.dir + "/~gm1.tmp", page);
    fuzz::put(w.dir + "/~gm2.tmp", page.substr(0, 100));
    fuzz::put(w.dir + "/~gm3.tmp", "");
    fuzz::put(w.dir + "/pal", page.substr(0, 768));
}

// Reads a few samples; whether every page read could be loaded.
bool read_some(tarvel::image& img) {
    if (img.GetPageSize() > kMaxReadPageSize) return true;
    const int w = img.GetWidth() - 1;
    const int h = img.GetHeight() - 1;
    unsigned char px[2];
    int rgb[2];
    for (int c = 0; c < img.GetChannelCount(); ++c) {
        img.GetRegion(0, 0, w > 0 ? 1 : 0, 0, c, px);
        img.GetRegion(w, h, w, h, c, px);
        tarvel::image::ipointer p(&img, c, w / 2, h / 2);
        volatile unsigned char v = *p;
        (void)v;
    }
    img.GetRegionRGB(0, h, 0, h, rgb);
    return img.GetPageLoadFailures() == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::workspace& w = setup();
    reset(w);
    fuzz::put(w.dir + "/dir.ini", std::string(reinterpret_cast<const char*>(data), size));
    const bool consume = size % 2 == 1;
    {
        tarvel::image img;
        img.SetTempPath(w.dir.c_str());
        const auto before = fuzz::snapshot(w.dir);
        if (!img.Thaw("dir.ini", "S", consume)) {
            if (fuzz::snapshot(w.dir) != before || *img.GetError() == '\0') std::abort();
        } else {
            if (!read_some(img)) std::abort();
            img.SetBrightnessContrast(60, 40);
            if (!read_some(img)) std::abort();
            // Whatever thawed must freeze, and what froze must thaw, unless
            // consuming removed files that the hostile directory named twice.
            const bool frozen = img.Freeze("out.ini", "T", true);
            tarvel::image again;
            again.SetTempPath(w.dir.c_str());
            const bool thawed = again.Thaw("out.ini", "T", false);
            if (!consume && (!frozen || !thawed)) std::abort();
            if (thawed && !consume && !read_some(again)) std::abort();
        }
    }
    if (fuzz::get(w.root + "outside") != kSentinel) std::abort();
    return 0;
}
