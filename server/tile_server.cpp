// The server: its catalog, options and assets, and the HTTP threads answering through the service.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <thread>

#include "server/server.h"
#include "server/service.h"

namespace tarvel {
namespace server {

struct tile_server::state {
    std::vector<served_image> images;
    server_options options;
    web_assets assets;
    std::unique_ptr<iiif_service> service;
    http_server http;
};

tile_server::tile_server() : m(std::make_unique<state>()) {}

tile_server::~tile_server() {
    Stop();
}

bool tile_server::AddPyramid(const std::string& directory, std::string& error) {
    char resolved[PATH_MAX];
    if (realpath(directory.c_str(), resolved) == nullptr) {
        error = directory + ": no such directory";
        return false;
    }
    served_image image;
    if (!DescribePyramid(resolved, image, error)) return false;
    image.id = MakeIdentifier(resolved, m->images);
    m->images.push_back(std::move(image));
    return true;
}

const std::vector<served_image>& tile_server::Images() const {
    return m->images;
}

bool tile_server::Start(const server_options& options, std::string& error, std::string& warning) {
    Stop();
    m->options = options;
    if (m->options.threads <= 0)
        m->options.threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    if (m->options.jpegQuality < 1 || m->options.jpegQuality > 100) {
        error = "the JPEG quality is a number from 1 to 100";
        return false;
    }
    m->assets.Load(m->options.webDirectory, warning);
    m->service = std::make_unique<iiif_service>(m->images, m->options, m->assets);
    http_settings settings;
    settings.bind = m->options.bind;
    settings.port = m->options.port;
    settings.threads = m->options.threads;
    iiif_service* service = m->service.get();
    if (!m->http.Start(
            settings, [service](const http_request& q, http_response& a) { service->Handle(q, a); },
            error)) {
        m->service.reset();
        return false;
    }
    service->SetPort(m->http.Port());
    return true;
}

void tile_server::Stop() {
    m->http.Stop();
    m->service.reset();
}

int tile_server::Port() const {
    return m->http.Port();
}

int tile_server::Threads() const {
    return m->options.threads;
}

int tile_server::OpenedViews(int i) const {
    return m->service ? m->service->OpenedViews(i) : 0;
}

}  // namespace server
}  // namespace tarvel
