// Fuzz target: arbitrary pyramid.ini files opened next to a few page files,
// then read, captured and remapped. The open and the checked reader behind
// `tarvel info` agree; a refused open changes no file; an opened pyramid
// reads every page it names without a page failure. Nothing outside the work
// directory may change, and inside it nothing but unnamed page files may go
// (the close sweeps them).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/image.h"
#include "pyramid/pyramid.h"
#include "pyramid/stored_pyramid.h"
#include "scratch_workspace.h"

namespace {

// Layers with pages larger than this are not read: a hostile file may
// describe a width of 2^31 - 1, and reading it would only time the allocator.
constexpr int kMaxReadPageSize = 16 << 20;
// Content of the files that must never change or go.
const std::string kOutside = "a page file outside the work directory";
const std::string kSource = "the source image inside the work directory";

const fuzz::workspace& setup() {
    return fuzz::scratch_workspace("pyramid-fuzz", "work", "~gm1.tmp", kOutside);
}

// Empties the work directory (closing a pyramid sweeps the page files its
// pyramid.ini does not name) and puts back the files the seeds name.
void reset(const fuzz::workspace& w) {
    fuzz::empty_directory(w.dir);
    const std::string& page = fuzz::page_pattern();
    fuzz::put(w.dir + "/~gm1.tmp", page);
    fuzz::put(w.dir + "/~gm2.tmp", page.substr(0, 300));
    fuzz::put(w.dir + "/~gm3.tmp", page.substr(0, 100));
    fuzz::put(w.dir + "/~gmA.tmp", page.substr(0, 768));
    fuzz::put(w.dir + "/source.bmp", kSource);
}

// Reads a corner of every layer and captures a view; whether no page could
// not be read (every page file was checked by the open).
bool read_some(tarvel::pyramid& p) {
    for (int k = 0; k < p.GetLayerCount(); ++k) {
        tarvel::image& layer = *p.GetLayerAt(k);
        if (layer.GetPageSize() > kMaxReadPageSize) return true;
        const int w = layer.GetWidth() - 1;
        const int h = layer.GetHeight() - 1;
        unsigned char px[2];
        int rgb[1];
        for (int c = 0; c < layer.GetChannelCount(); ++c) p.GetRegion(k, w, h, w, h, c, px);
        p.GetRegionRGB(k, 0, h, 0, h, rgb);
        if (layer.GetPageLoadFailures() != 0) return false;
    }
    tarvel::image view;
    const tarvel::image& top = *p.GetLayerAt(0);
    return p.Capture(view, 7, 5, -3, 2, top.GetWidth(), top.GetHeight() / 2 + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::workspace& w = setup();
    reset(w);
    fuzz::put(w.dir + "/pyramid.ini", std::string(reinterpret_cast<const char*>(data), size));
    const auto before = fuzz::snapshot(w.dir);
    tarvel::stored_pyramid stored;
    const bool readable = stored.Read(w.dir + "/");
    {
        tarvel::pyramid p;
        const bool opened = p.Create((w.dir + "/").c_str(), nullptr);
        if (opened != readable) std::abort();
        if (!opened && (fuzz::snapshot(w.dir) != before || *p.GetError() == '\0')) std::abort();
        if (opened) {
            if (p.GetLayerCount() < 1 || p.GetLayerCount() > tarvel::kPyramidMaxLayers ||
                p.GetName().empty() || p.GetLayerCount() != stored.layerCount) {
                std::abort();
            }
            if (p.GetLayerAt(0)->GetPageSize() <= kMaxReadPageSize) {
                if (!read_some(p)) std::abort();
                p.SetBrightnessContrast(60, 40);
                if (!read_some(p)) std::abort();
            }
        }
    }
    if (fuzz::get(w.root + "~gm1.tmp") != kOutside || fuzz::get(w.dir + "/source.bmp") != kSource) {
        std::abort();
    }
    return 0;
}
