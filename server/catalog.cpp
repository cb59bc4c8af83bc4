// Describing served pyramids, naming them, and lending their opened views.
#include "server/catalog.h"

#include <fstream>
#include <iterator>

namespace tarvel {
namespace server {

unsigned long long Fnv1a(const void* data, std::size_t size, unsigned long long hash) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= p[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

namespace {

// The hash of an open pyramid's pyramid.ini, which names every page file of
// every layer: a rebuild always changes it.
unsigned long long stored_tag(const pyramid& p) {
    std::ifstream ini(p.GetWorkDirectory() + "pyramid.ini", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    return Fnv1a(text.data(), text.size());
}

}  // namespace

bool DescribePyramid(const std::string& directory, served_image& out, std::string& error) {
    std::unique_ptr<pyramid_view> view = pyramid_view::Open(directory, error);
    if (!view) return false;
    const pyramid& p = view->Pyramid();
    served_image d;
    d.directory = directory;
    d.source = p.GetName();
    d.width = view->Width();
    d.height = view->Height();
    d.type = p.GetLayerAt(0)->GetType();
    for (int k = 0; k < p.GetLayerCount(); ++k) {
        d.layerWidths.push_back(p.GetLayerAt(k)->GetWidth());
        d.layerHeights.push_back(p.GetLayerAt(k)->GetHeight());
    }
    d.tag = stored_tag(p);
    d.id = out.id;
    out = std::move(d);
    return true;
}

std::string MakeIdentifier(const std::string& directory, const std::vector<served_image>& taken) {
    std::string name = directory;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    name = name.substr(name.find_last_of('/') + 1);
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain) c = '_';
    }
    if (name.empty()) name = "image";
    if (name[0] == '.') name[0] = '_';
    auto used = [&](const std::string& id) {
        for (const served_image& s : taken)
            if (s.id == id) return true;
        return false;
    };
    std::string id = name;
    for (int n = 2; used(id); ++n) id = name + "-" + std::to_string(n);
    return id;
}

view_pool::lease::~lease() {
    if (m_pool == nullptr || !m_view) return;
    std::lock_guard<std::mutex> guard(m_pool->m_mutex);
    m_pool->m_idle.push_back(std::move(m_view));
}

view_pool::lease view_pool::Acquire(std::string& error) {
    lease l;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_idle.empty()) {
            l.m_view = std::move(m_idle.back());
            m_idle.pop_back();
        }
    }
    if (!l.m_view) {
        // Opened outside the lock: opening reads pyramid.ini and may take a while.
        std::unique_ptr<pyramid_view> view = pyramid_view::Open(m_image.directory, error);
        if (!view) return l;
        // Every view of one image shows the same pyramid, the one its ETags name.
        if (stored_tag(view->Pyramid()) != m_image.tag) {
            error = m_image.directory + " holds another pyramid than when the server started";
            return l;
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        ++m_opened;
        l.m_view = std::move(view);
    }
    l.m_pool = this;
    return l;
}

int view_pool::Opened() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_opened;
}

}  // namespace server
}  // namespace tarvel
