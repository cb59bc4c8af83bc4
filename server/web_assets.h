// The viewer's files and OpenSeadragon, read into memory once when the server
// starts, so that no part of a URL ever names a file.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tarvel {
namespace server {

struct web_asset {
    std::string type;  // media type
    std::string body;
};

// Owns: copies of the files. Threads: Load before serving; Find from any
// thread afterwards (read only).
class web_assets {
  public:
    // Reads viewer.html, viewer.js and viewer.css from directory (the
    // repository's web/ folder) and OpenSeadragon's script and button images
    // from the npm package installed under it. Says in warning what is
    // missing; the IIIF service works without any of it.
    void Load(const std::string& directory, std::string& warning);
    // The asset served at /web/<name>; null when there is none.
    const web_asset* Find(std::string_view name) const;
    // The viewer page, or null when it could not be read.
    const web_asset* Viewer() const { return Find("viewer.html"); }

  private:
    bool add(const std::string& name, const std::string& path, const char* type);

    std::map<std::string, web_asset, std::less<>> m_assets;
};

}  // namespace server
}  // namespace tarvel
