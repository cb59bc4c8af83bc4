// Shared helpers of the server tests: pyramids built from planes, a plain
// HTTP/1.1 client over a socket, decoders for the pictures it gets, and the
// view a request must show, computed through the display fill.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "../pyramid/pyramid_test_util.h"

namespace tarvel_test {

struct http_reply {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

// Sends `request` as it stands (the caller writes every byte) to 127.0.0.1
// and reads the reply until the server closes. Status 0 when nothing came.
http_reply http_exchange(int port, const std::string& request);
// GET (or another method) of a target with Connection: close and the extra
// header lines given.
http_reply http_get(int port, const std::string& target, const std::string& extraHeaders = "",
                    const std::string& method = "GET");

// Interleaved 8-bit samples, rows from the top: 1 (grey) or 3 channels.
struct picture {
    int width = 0, height = 0, channels = 0;
    std::vector<unsigned char> pixels;
    unsigned char at(int x, int y, int c) const {
        return pixels[(static_cast<size_t>(y) * width + x) * channels + c];
    }
};
bool decode_png(const std::string& bytes, picture& out);
bool decode_jpeg(const std::string& bytes, picture& out);

// A parsed JSON value: enough of JSON for info.json (no escapes but \" and \\).
struct json {
    enum kind_t { null, number, string, array, object } kind = null;
    double num = 0;
    std::string str;
    std::vector<json> items;
    std::map<std::string, json> fields;
    std::vector<std::string> order;  // field names as they came
    const json& operator[](const std::string& key) const;
    const json& operator[](size_t i) const { return items.at(i); }
};
// False when text is not one JSON value.
bool parse_json(const std::string& text, json& out);

// Builds the pyramid of `p` in dir/name (from a BMP; grey ones are stored
// layer by layer, as builds from files make palette or colour layers) and
// returns the pyramid's directory.
std::string make_pyramid(const scratch_dir& dir, const std::string& name, const planes& p);
// Colour planes with gentle gradients, for pictures that go through JPEG.
planes smooth_planes(int width, int height);

// What the rectangle (x, y, w, h) of layer-0 pixels of the pyramid in
// `directory` looks like at outWidth x outHeight through the display's smooth
// fill (each pixel sampling the centre of its share of the rectangle): grey
// for grey pyramids, palette entries looked up, colour as red, green, blue.
picture expected_view(const std::string& directory, int x, int y, int w, int h, int outWidth,
                      int outHeight);

}  // namespace tarvel_test
