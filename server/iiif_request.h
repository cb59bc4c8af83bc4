// Image requests of the IIIF Image API 3.0: parsing
// "{region}/{size}/{rotation}/{quality}.{format}" into the pixels to render.
#pragma once

#include <string>
#include <string_view>

namespace tarvel {
namespace server {

// The largest output a request may ask for, announced in info.json as
// maxWidth, maxHeight and maxArea. A worker holds the rendered picture twice
// (the fill's rows and the encoder's input), so the area bounds a worker's
// memory: 16 Mi pixels of colour are 48 MiB per copy.
struct output_limits {
    int maxWidth = 10000;
    int maxHeight = 10000;
    long long maxArea = 16777216;
};

enum class quality { default_quality, color, gray };
enum class format { jpg, png };

// A request resolved against an image: the region in layer-0 pixels (inside
// the image, top-down rows), the size it is scaled to, then mirroring and a
// clockwise rotation by a multiple of 90 degrees.
struct image_request {
    int x = 0, y = 0, width = 0, height = 0;
    int outWidth = 0, outHeight = 0;
    bool mirror = false;
    int rotation = 0;  // 0, 90, 180 or 270
    quality q = quality::default_quality;
    format f = format::jpg;
};

// Why a request was refused: the HTTP status (400, or 501 for a feature this
// server does not have) and one short sentence for the response body.
struct request_error {
    int status = 0;
    std::string message;
};

// Parses the four parameters after the identifier for an image of
// imageWidth x imageHeight pixels. Every number is decimal digits (an
// optional fraction for percentages and rotation); anything else, a region
// with no pixels or entirely outside the image, a size above the region
// without '^', below one pixel or above the limits, a rotation other than a
// multiple of 90 degrees, or an unknown quality or format is refused with 400.
// Regions reaching beyond the image are cut at its edges. Percentages and
// sizes derived from the region's aspect ratio are rounded to the nearest
// pixel; a derived side is at least one pixel.
bool ParseImageRequest(std::string_view parameters, int imageWidth, int imageHeight,
                       const output_limits& limits, image_request& out, request_error& error);

// The size `max` (or `^max` when upscale is set) gives for a region of
// width x height: the region itself, scaled down (or up) to the largest size
// with the same aspect ratio that keeps within the limits.
void MaxSize(int width, int height, bool upscale, const output_limits& limits, int& outWidth,
             int& outHeight);

// A decimal number as the requests write them: digits with an optional
// fraction ("12", "0.5"); no sign, exponent or bare point.
bool ParseDecimal(std::string_view s, double& value);

const char* QualityName(quality q);
const char* FormatName(format f);
// The media type of a format: image/jpeg or image/png.
const char* MediaType(format f);

}  // namespace server
}  // namespace tarvel
