// tarvel::server: the IIIF Image API 3.0 server behind `tarvel serve`. It
// serves stored pyramids as info.json documents and image requests (any
// region at any size, rendered from the layer that suits the scale), a page
// listing them, and a deep-zoom viewer page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "server/catalog.h"
#include "server/encode.h"
#include "server/iiif_request.h"

namespace tarvel {
namespace server {

// The tile size info.json announces: 512 x 512 at every scale factor.
constexpr int kTileSize = 512;

struct server_options {
    std::string bind = "127.0.0.1";  // loopback unless told otherwise
    int port = 8182;                 // 0 picks a free port
    int threads = 0;                 // workers; 0 means one per processor
    int jpegQuality = kDefaultJpegQuality;
    output_limits limits;
    // Bytes of encoded pictures kept for requests that come again (0: none).
    std::size_t cacheBytes = 64u << 20;
    // The web folder: viewer.html, viewer.js, viewer.css and OpenSeadragon
    // installed by npm under node_modules/.
    std::string webDirectory;
    // The public address of the server ("https://tiles.example.org"), for
    // the identifiers in info.json behind a proxy; empty means the address
    // each request was sent to (its Host header).
    std::string baseUrl;
};

// The server: a catalog of pyramids and the HTTP service over them.
//
// Owns: the catalog, one pool of opened views per pyramid (each worker
// borrows a view of its own, so no pyramid object is ever used by two
// threads), the cache of encoded pictures, the web assets and the HTTP
// threads. Memory: at most `threads` views of a pyramid are ever opened; each
// maps its layers' page files (the system's file cache, shared by every view)
// and keeps its layers' default page caches for pages it cannot map, and a
// DIB of at most pyramid_view::kKeptDibPixels between pictures. While a
// worker makes a picture it holds up to three copies of it (the DIB, the
// picture, the encoding), bounded by the limits' maxArea; the picture cache
// holds cacheBytes.
// Failure: AddPyramid and Start return false with a reason; a failed Start
// leaves nothing running. Threads: AddPyramid, Start and Stop from one thread;
// requests are answered on the server's own threads.
class tile_server {
  public:
    tile_server();
    ~tile_server();
    tile_server(const tile_server&) = delete;
    tile_server& operator=(const tile_server&) = delete;

    // Adds the pyramid stored in directory, named after the directory (see
    // MakeIdentifier). Before Start only.
    bool AddPyramid(const std::string& directory, std::string& error);
    const std::vector<served_image>& Images() const;

    // Starts answering. warning tells what the viewer page lacks, if anything.
    bool Start(const server_options& options, std::string& error, std::string& warning);
    void Stop();
    int Port() const;
    // The worker threads it runs (after Start).
    int Threads() const;
    // The views opened so far of image i (for tests and statistics).
    int OpenedViews(int i) const;

  private:
    struct state;
    std::unique_ptr<state> m;
};

}  // namespace server
}  // namespace tarvel
