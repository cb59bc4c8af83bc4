// The page at "/": the served images, each with a thumbnail and its links.
#include <string>

#include "server/service.h"

namespace tarvel {
namespace server {

namespace {

std::string html(const std::string& s) {
    std::string out;
    for (const char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string IndexPage(const std::vector<served_image>& images) {
    std::string p =
        "<!doctype html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>tarvel serve</title>\n<link rel=\"stylesheet\" href=\"/web/viewer.css\">\n"
        "</head>\n<body class=\"index\">\n<h1>tarvel serve</h1>\n<ul class=\"images\">\n";
    for (const served_image& image : images) {
        const std::string id = html(image.id);
        p += "<li><a href=\"/view/" + id + "\"><img src=\"/iiif/3/" + id +
             "/full/!200,200/0/default.jpg\" alt=\"\"></a>\n<div><a href=\"/view/" + id + "\">" +
             id + "</a><br>" + std::to_string(image.width) + " &times; " +
             std::to_string(image.height) + " pixels, " + std::to_string(image.layerWidths.size()) +
             " layers, from " + html(image.source) + "<br><a href=\"/iiif/3/" + id +
             "/info.json\">info.json</a></div></li>\n";
    }
    p += "</ul>\n</body>\n</html>\n";
    return p;
}

}  // namespace server
}  // namespace tarvel
