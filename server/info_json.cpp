// The image information document (info.json) of a served pyramid.
#include <cstdio>
#include <string>

#include "server/service.h"

namespace tarvel {
namespace server {

namespace {

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string InfoJson(const served_image& image, const std::string& id,
                     const output_limits& limits) {
    std::string j = "{\n";
    j += "  \"@context\": \"http://iiif.io/api/image/3/context.json\",\n";
    j += "  \"id\": " + json_string(id) + ",\n";
    j += "  \"type\": \"ImageService3\",\n";
    j += "  \"protocol\": \"http://iiif.io/api/image\",\n";
    j += "  \"profile\": \"level2\",\n";
    j += "  \"width\": " + std::to_string(image.width) + ",\n";
    j += "  \"height\": " + std::to_string(image.height) + ",\n";
    j += "  \"maxWidth\": " + std::to_string(limits.maxWidth) + ",\n";
    j += "  \"maxHeight\": " + std::to_string(limits.maxHeight) + ",\n";
    j += "  \"maxArea\": " + std::to_string(limits.maxArea) + ",\n";
    // The layers' sizes, smallest first: each is served straight from its layer.
    std::string sizes;
    for (std::size_t k = image.layerWidths.size(); k-- > 0;) {
        const long long w = image.layerWidths[k], h = image.layerHeights[k];
        if (w > limits.maxWidth || h > limits.maxHeight || w * h > limits.maxArea) continue;
        if (!sizes.empty()) sizes += ",\n";
        sizes +=
            "    { \"width\": " + std::to_string(w) + ", \"height\": " + std::to_string(h) + " }";
    }
    j += "  \"sizes\": [\n" + sizes + "\n  ],\n";
    std::string factors;
    for (std::size_t k = 0; k < image.layerWidths.size(); ++k)
        factors += (k ? ", " : "") + std::to_string(1LL << k);
    j += "  \"tiles\": [\n    { \"width\": " + std::to_string(kTileSize) +
         ", \"height\": " + std::to_string(kTileSize) + ", \"scaleFactors\": [ " + factors +
         " ] }\n  ],\n";
    j += image.type == 1 ? "  \"extraQualities\": [ \"gray\" ],\n"
                         : "  \"extraQualities\": [ \"color\", \"gray\" ],\n";
    j += "  \"extraFeatures\": [ \"mirroring\", \"profileLinkHeader\", \"sizeUpscaling\" ]\n";
    j += "}\n";
    return j;
}

}  // namespace server
}  // namespace tarvel
