// Answering requests: routing, IIIF image and information requests, the
// listing and viewer pages, and the headers IIIF clients and caches expect.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "server/catalog.h"
#include "server/http_server.h"
#include "server/server.h"
#include "server/tile_cache.h"
#include "server/web_assets.h"

namespace tarvel {
namespace server {

// Owns: a view pool per image. Refers to the catalog, options and assets
// without owning them; they must outlive it. Threads: Handle from any number
// of threads at once.
class iiif_service {
  public:
    iiif_service(const std::vector<served_image>& images, const server_options& options,
                 const web_assets& assets);

    void Handle(const http_request& request, http_response& response);
    // The port the server listens on, for addresses when a request names none.
    void SetPort(int port);
    int OpenedViews(int image) const { return m_pools[image]->Opened(); }

  private:
    const served_image* find(std::string_view id) const;
    std::string base(const http_request& request) const;
    void information(const http_request& request, const served_image& image, http_response& out);
    void picture(const http_request& request, int image, std::string_view parameters,
                 http_response& out);
    void page(const http_request& request, std::string_view path, http_response& out);

    const std::vector<served_image>& m_images;
    const server_options& m_options;
    const web_assets& m_assets;
    std::vector<std::unique_ptr<view_pool>> m_pools;
    tile_cache m_cache;
    std::map<std::string, int, std::less<>> m_byId;
    std::atomic<int> m_port{0};
};

// The info.json of an image whose service is at `id` (an absolute URL).
std::string InfoJson(const served_image& image, const std::string& id, const output_limits& limits);

// The page at "/": every served image with a thumbnail and its links.
std::string IndexPage(const std::vector<served_image>& images);

// Brightness and contrast of the viewer's controls, from the query arguments
// "brightness" and "contrast" (0 to 100, 50 neutral). False with a reason
// when one is not a number in range.
bool ParseAdjustment(const char* value, double& out, request_error& error);

}  // namespace server
}  // namespace tarvel
