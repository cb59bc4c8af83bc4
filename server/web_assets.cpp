// Reading the viewer's files and OpenSeadragon's from the web folder.
#include "server/web_assets.h"

#include <dirent.h>

#include <fstream>
#include <iterator>

namespace tarvel {
namespace server {

namespace {

// Where npm puts OpenSeadragon's build under the web folder.
constexpr const char* kOpenSeadragonDir = "node_modules/openseadragon/build/openseadragon/";

bool ends_with(const std::string& s, const char* suffix) {
    const std::string_view x(suffix);
    return s.size() >= x.size() && s.compare(s.size() - x.size(), x.size(), x) == 0;
}

}  // namespace

bool web_assets::add(const std::string& name, const std::string& path, const char* type) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    web_asset a;
    a.type = type;
    a.body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    m_assets[name] = std::move(a);
    return true;
}

void web_assets::Load(const std::string& directory, std::string& warning) {
    m_assets.clear();
    const std::string dir =
        directory.empty() || directory.back() == '/' ? directory : directory + "/";
    std::string missing;
    if (!add("viewer.html", dir + "viewer.html", "text/html; charset=utf-8") ||
        !add("viewer.js", dir + "viewer.js", "text/javascript; charset=utf-8") ||
        !add("viewer.css", dir + "viewer.css", "text/css; charset=utf-8"))
        missing = "the viewer's files in " + dir;
    const std::string osd = dir + kOpenSeadragonDir;
    if (!add("openseadragon.min.js", osd + "openseadragon.min.js",
             "text/javascript; charset=utf-8")) {
        if (!missing.empty()) missing += " and ";
        missing +=
            "OpenSeadragon in " + osd + " (run npm ci in " + dir + ", which scripts/setup.sh does)";
    } else if (DIR* images = opendir((osd + "images").c_str())) {
        while (const dirent* e = readdir(images)) {
            const std::string name = e->d_name;
            if (ends_with(name, ".png")) add("images/" + name, osd + "images/" + name, "image/png");
        }
        closedir(images);
    }
    if (!missing.empty()) warning = "the viewer page is not available: missing " + missing;
}

const web_asset* web_assets::Find(std::string_view name) const {
    const auto found = m_assets.find(name);
    return found == m_assets.end() ? nullptr : &found->second;
}

}  // namespace server
}  // namespace tarvel
