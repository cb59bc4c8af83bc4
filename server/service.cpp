// Routing requests and answering IIIF image and information requests.
#include "server/service.h"

#include <cstdio>
#include <cstring>

#include "image/image.h"
#include "server/raster.h"

namespace tarvel {
namespace server {

namespace {

constexpr const char* kIiifPrefix = "/iiif/3/";
constexpr const char* kProfileLink = "<http://iiif.io/api/image/3/level2.json>;rel=\"profile\"";
constexpr const char* kJsonLdType =
    "application/ld+json;profile=\"http://iiif.io/api/image/3/context.json\"";
// The pictures of a stored pyramid never change while it is served (a rebuild
// changes their ETags), so browsers and caches may keep them a day.
constexpr const char* kPictureCaching = "public, max-age=86400";
// info.json names the address it was asked at; the viewer's files change
// only with the server.
constexpr const char* kInfoCaching = "public, max-age=3600";
constexpr const char* kPageCaching = "no-cache";
constexpr const char* kPagePolicy =
    "default-src 'self'; img-src 'self' data: blob:; style-src 'self' 'unsafe-inline'";
constexpr int kLongestHost = 255;

void text(http_response& out, int status, const std::string& message) {
    out.status = status;
    out.body = message + "\n";
    out.Set("Content-Type", "text/plain; charset=utf-8");
}

std::string quoted_tag(unsigned long long hash) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "\"%016llx\"", hash);
    return buffer;
}

// Whether an If-None-Match header names the tag (or is "*").
bool matches(const char* header, const std::string& tag) {
    if (header == nullptr) return false;
    std::string_view rest(header);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (item.substr(0, 2) == "W/") item.remove_prefix(2);
        if (item == "*" || item == tag) return true;
    }
    return false;
}

// The 256-entry table of a brightness and contrast, built by the paged
// image's own mapping so that the controls mean what they mean everywhere
// in tarvel. False when the setting maps every sample to itself.
bool intensity_table(double brightness, double contrast, unsigned char table[256]) {
    image scratch;  // holds no pages and no directory: nothing is written
    scratch.SetBrightnessContrast(brightness, contrast);
    if (!scratch.IsIntensityMappingActive() || scratch.GetIntensityTable() == nullptr) return false;
    std::memcpy(table, scratch.GetIntensityTable(), 256);
    return true;
}

bool plain_host(std::string_view host) {
    if (host.empty() || host.size() > kLongestHost) return false;
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || std::strchr(".-_:[]", c) != nullptr;
        if (!ok) return false;
    }
    return true;
}

}  // namespace

bool ParseAdjustment(const char* value, double& out, request_error& error) {
    if (value == nullptr) return true;
    if (!ParseDecimal(value, out) || out > 100) {
        error.status = 400;
        error.message = "brightness and contrast are numbers from 0 to 100";
        return false;
    }
    return true;
}

iiif_service::iiif_service(const std::vector<served_image>& images, const server_options& options,
                           const web_assets& assets)
    : m_images(images), m_options(options), m_assets(assets), m_cache(options.cacheBytes) {
    for (std::size_t i = 0; i < images.size(); ++i) {
        m_pools.push_back(std::make_unique<view_pool>(images[i]));
        m_byId[images[i].id] = static_cast<int>(i);
    }
}

void iiif_service::SetPort(int port) {
    m_port = port;
}

const served_image* iiif_service::find(std::string_view id) const {
    const auto found = m_byId.find(id);
    return found == m_byId.end() ? nullptr : &m_images[found->second];
}

std::string iiif_service::base(const http_request& request) const {
    if (!m_options.baseUrl.empty()) {
        std::string b = m_options.baseUrl;
        while (!b.empty() && b.back() == '/') b.pop_back();
        return b;
    }
    const char* host = request.Header("Host");
    if (host != nullptr && plain_host(host)) return std::string("http://") + host;
    return "http://" + m_options.bind + ":" + std::to_string(m_port.load());
}

void iiif_service::Handle(const http_request& request, http_response& out) {
    out.Set("Access-Control-Allow-Origin", "*");
    out.Set("X-Content-Type-Options", "nosniff");
    if (request.method == "OPTIONS") {
        out.status = 204;
        out.Set("Access-Control-Allow-Methods", "GET, HEAD, OPTIONS");
        out.Set("Access-Control-Allow-Headers", "Accept, If-None-Match, Range");
        out.Set("Access-Control-Max-Age", "86400");
        out.Set("Allow", "GET, HEAD, OPTIONS");
        return;
    }
    std::string_view path = request.path;
    const std::string_view prefix(kIiifPrefix);
    if (path.substr(0, prefix.size()) != prefix) {
        page(request, path, out);
        return;
    }
    path.remove_prefix(prefix.size());
    const std::size_t slash = path.find('/');
    const served_image* image = find(path.substr(0, slash));
    if (image == nullptr) {
        text(out, 404, "no image has this identifier");
        return;
    }
    const std::string_view rest =
        slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (rest.empty()) {
        // The image's base address leads to its information.
        out.status = 303;
        out.Set("Location", base(request) + kIiifPrefix + image->id + "/info.json");
        return;
    }
    if (rest == "info.json") {
        information(request, *image, out);
        return;
    }
    picture(request, static_cast<int>(image - m_images.data()), rest, out);
}

void iiif_service::information(const http_request& request, const served_image& image,
                               http_response& out) {
    out.body = InfoJson(image, base(request) + kIiifPrefix + image.id, m_options.limits);
    // JSON-LD unless the client asks for plain JSON only.
    const char* accept = request.Header("Accept");
    const bool plain = accept != nullptr && std::strstr(accept, "application/json") != nullptr &&
                       std::strstr(accept, "application/ld+json") == nullptr &&
                       std::strstr(accept, "*/*") == nullptr;
    const std::string tag = quoted_tag(Fnv1a(out.body.data(), out.body.size(), image.tag ^ plain));
    out.Set("Content-Type", plain ? "application/json" : kJsonLdType);
    out.Set("Vary", "Accept");
    out.Set("ETag", tag);
    out.Set("Cache-Control", kInfoCaching);
    out.Set("Link", kProfileLink);
    if (matches(request.Header("If-None-Match"), tag)) {
        out.status = 304;
        out.body.clear();
    }
}

void iiif_service::picture(const http_request& request, int index, std::string_view parameters,
                           http_response& out) {
    const served_image& image = m_images[index];
    image_request r;
    request_error refused;
    double brightness = 50, contrast = 50;
    if (!ParseImageRequest(parameters, image.width, image.height, m_options.limits, r, refused) ||
        !ParseAdjustment(request.Query("brightness"), brightness, refused) ||
        !ParseAdjustment(request.Query("contrast"), contrast, refused)) {
        text(out, refused.status, refused.message);
        return;
    }
    // The tag names the resolved request, so every spelling of one picture shares it.
    char key[256];
    std::snprintf(key, sizeof key, "%d,%d,%d,%d/%d,%d/%s%d/%s.%s/%g,%g/%d", r.x, r.y, r.width,
                  r.height, r.outWidth, r.outHeight, r.mirror ? "!" : "", r.rotation,
                  QualityName(r.q), FormatName(r.f), brightness, contrast, m_options.jpegQuality);
    const std::string tag = quoted_tag(Fnv1a(key, std::strlen(key), image.tag));
    out.Set("ETag", tag);
    out.Set("Cache-Control", kPictureCaching);
    out.Set("Link", kProfileLink);
    if (matches(request.Header("If-None-Match"), tag)) {
        out.status = 304;
        return;
    }
    out.Set("Content-Type", MediaType(r.f));
    const std::string cacheKey = std::to_string(index) + "/" + key;
    if (const tile_cache::body kept = m_cache.Find(cacheKey)) {
        out.body = *kept;
        return;
    }
    raster picture;
    std::string error;
    {
        view_pool::lease view = m_pools[index]->Acquire(error);
        if (!view) {
            text(out, 503, image.id + ": " + error);
            return;
        }
        if (!view->Render(r.x, r.y, r.width, r.height, r.outWidth, r.outHeight, picture, error)) {
            text(out, 500, image.id + ": " + error);
            return;
        }
    }
    unsigned char table[256];
    if (intensity_table(brightness, contrast, table)) ApplyTable(picture, table);
    if (r.q == quality::gray) ToGray(picture);
    MirrorAndRotate(picture, r.mirror, r.rotation);
    const bool encoded = r.f == format::png
                             ? EncodePng(picture, out.body, error)
                             : EncodeJpeg(picture, m_options.jpegQuality, out.body, error);
    if (!encoded) {
        out.body.clear();
        text(out, 500, image.id + ": cannot encode the picture: " + error);
        return;
    }
    m_cache.Insert(cacheKey, std::make_shared<const std::string>(out.body));
}

void iiif_service::page(const http_request&, std::string_view path, http_response& out) {
    const std::string_view view("/view/"), web("/web/");
    if (path == "/" || path == "/index.html") {
        out.body = IndexPage(m_images);
        out.Set("Content-Type", "text/html; charset=utf-8");
        out.Set("Cache-Control", kPageCaching);
        out.Set("Content-Security-Policy", kPagePolicy);
        return;
    }
    if (path.substr(0, view.size()) == view) {
        if (find(path.substr(view.size())) == nullptr) {
            text(out, 404, "no image has this identifier");
            return;
        }
        const web_asset* viewer = m_assets.Viewer();
        if (viewer == nullptr) {
            text(out, 404, "the viewer page is not installed (see the server's start-up warning)");
            return;
        }
        out.body = viewer->body;
        out.Set("Content-Type", viewer->type);
        out.Set("Cache-Control", kPageCaching);
        out.Set("Content-Security-Policy", kPagePolicy);
        return;
    }
    const web_asset* asset =
        path.substr(0, web.size()) == web ? m_assets.Find(path.substr(web.size())) : nullptr;
    if (asset == nullptr) {
        text(out, 404, "not found");
        return;
    }
    out.body = asset->body;
    out.Set("Content-Type", asset->type);
    out.Set("Cache-Control", kInfoCaching);
}

}  // namespace server
}  // namespace tarvel
