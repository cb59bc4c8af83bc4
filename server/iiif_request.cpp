// Parsing and resolving IIIF image requests: region, size, rotation, quality and format.
#include "server/iiif_request.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace tarvel {
namespace server {

namespace {

// Counts above this are saturated while they are read: far beyond any image
// side or limit, and small enough that no later product overflows a double's
// exact range before the limits are checked.
constexpr long long kHugeCount = 1LL << 50;
// Decimal numbers longer than this are refused: no sensible percentage or
// angle needs more characters.
constexpr std::size_t kMaxDecimalChars = 32;

bool fail(request_error& error, const char* message, int status = 400) {
    error.status = status;
    error.message = message;
    return false;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// One or more decimal digits, saturated at kHugeCount.
bool parse_count(std::string_view s, long long& value) {
    if (s.empty()) return false;
    value = 0;
    for (char c : s) {
        if (!is_digit(c)) return false;
        value = std::min(kHugeCount, value * 10 + (c - '0'));
    }
    return true;
}

}  // namespace

bool ParseDecimal(std::string_view s, double& value) {
    if (s.empty() || s.size() > kMaxDecimalChars) return false;
    const std::size_t point = s.find('.');
    const std::string_view whole = s.substr(0, point);
    if (whole.empty() || !std::all_of(whole.begin(), whole.end(), is_digit)) return false;
    if (point != std::string_view::npos) {
        const std::string_view fraction = s.substr(point + 1);
        if (fraction.empty() || !std::all_of(fraction.begin(), fraction.end(), is_digit))
            return false;
    }
    return std::from_chars(s.data(), s.data() + s.size(), value).ec == std::errc();
}

namespace {

// Splits s at commas into exactly n parts (empty parts included).
template <std::size_t n>
bool split(std::string_view s, std::string_view (&parts)[n]) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t comma = s.find(',');
        if ((comma == std::string_view::npos) != (i == n - 1)) return false;
        parts[i] = s.substr(0, comma);
        s = comma == std::string_view::npos ? std::string_view() : s.substr(comma + 1);
    }
    return true;
}

// v rounded to the nearest integer (halves up), as a count saturated at kHugeCount.
long long rounded(double v) {
    if (!(v > 0)) return 0;
    return v >= static_cast<double>(kHugeCount) ? kHugeCount
                                                : static_cast<long long>(std::floor(v + 0.5));
}

// a * b / c rounded to the nearest integer, at least 1; a and b at most
// INT_MAX, c at least 1, so the product fits.
int scaled(long long a, long long b, long long c) {
    const long long v = (a * b + c / 2) / c;
    return static_cast<int>(std::clamp<long long>(v, 1, INT_MAX));
}

bool parse_region(std::string_view s, int imageWidth, int imageHeight, image_request& r,
                  request_error& error) {
    if (s == "full") {
        r.x = r.y = 0;
        r.width = imageWidth;
        r.height = imageHeight;
        return true;
    }
    if (s == "square") {
        const int side = std::min(imageWidth, imageHeight);
        r.x = (imageWidth - side) / 2;
        r.y = (imageHeight - side) / 2;
        r.width = r.height = side;
        return true;
    }
    long long v[4];
    std::string_view parts[4];
    const bool percent = s.substr(0, 4) == "pct:";
    if (!split(percent ? s.substr(4) : s, parts)) return fail(error, "malformed region");
    for (int i = 0; i < 4; ++i) {
        if (percent) {
            double p = 0;
            if (!ParseDecimal(parts[i], p)) return fail(error, "malformed region");
            v[i] = rounded(p * (i % 2 == 0 ? imageWidth : imageHeight) / 100.0);
        } else if (!parse_count(parts[i], v[i])) {
            return fail(error, "malformed region");
        }
    }
    if (v[2] == 0 || v[3] == 0) return fail(error, "the region has no pixels");
    if (v[0] >= imageWidth || v[1] >= imageHeight)
        return fail(error, "the region lies outside the image");
    r.x = static_cast<int>(v[0]);
    r.y = static_cast<int>(v[1]);
    r.width = static_cast<int>(std::min<long long>(v[2], imageWidth - v[0]));
    r.height = static_cast<int>(std::min<long long>(v[3], imageHeight - v[1]));
    return true;
}

bool within_limits(long long w, long long h, const output_limits& limits) {
    return w <= limits.maxWidth && h <= limits.maxHeight && w * h <= limits.maxArea;
}

bool parse_size(std::string_view s, const output_limits& limits, image_request& r,
                request_error& error) {
    const int rw = r.width, rh = r.height;
    const bool upscale = !s.empty() && s[0] == '^';
    if (upscale) s.remove_prefix(1);
    const char* const upscaleNeeded = "the size is larger than the region; prefix it with ^";
    if (s == "max") {
        MaxSize(rw, rh, upscale, limits, r.outWidth, r.outHeight);
        return true;
    }
    if (s.substr(0, 4) == "pct:") {
        double n = 0;
        if (!ParseDecimal(s.substr(4), n)) return fail(error, "malformed size");
        if (n > 100 && !upscale) return fail(error, upscaleNeeded);
        const long long w = rounded(rw * n / 100.0), h = rounded(rh * n / 100.0);
        if (w < 1 || h < 1) return fail(error, "the size is below one pixel");
        if (!within_limits(w, h, limits))
            return fail(error, "the size is above maxWidth, maxHeight or maxArea");
        r.outWidth = static_cast<int>(w);
        r.outHeight = static_cast<int>(h);
        return true;
    }
    const bool confined = !s.empty() && s[0] == '!';
    if (confined) s.remove_prefix(1);
    std::string_view parts[2];
    long long w = 0, h = 0;
    if (!split(s, parts) || (parts[0].empty() && parts[1].empty()) ||
        (!parts[0].empty() && !parse_count(parts[0], w)) ||
        (!parts[1].empty() && !parse_count(parts[1], h)) ||
        (confined && (parts[0].empty() || parts[1].empty())))
        return fail(error, "malformed size");
    if ((!parts[0].empty() && w == 0) || (!parts[1].empty() && h == 0))
        return fail(error, "the size is below one pixel");
    if (confined) {
        // The largest size of the region's aspect ratio inside w x h (and,
        // without ^, inside the region), kept within the limits.
        w = std::min<long long>(w, INT_MAX);
        h = std::min<long long>(h, INT_MAX);
        if (!upscale && w >= rw && h >= rh) {
            w = rw;
            h = rh;
        } else if (w * rh <= h * rw) {
            h = scaled(rh, w, rw);
        } else {
            w = scaled(rw, h, rh);
        }
        MaxSize(static_cast<int>(w), static_cast<int>(h), false, limits, r.outWidth, r.outHeight);
        return true;
    }
    if (!upscale && (w > rw || h > rh)) return fail(error, upscaleNeeded);
    if (w > limits.maxWidth || h > limits.maxHeight)
        return fail(error, "the size is above maxWidth, maxHeight or maxArea");
    if (parts[1].empty()) h = scaled(rh, w, rw);
    if (parts[0].empty()) w = scaled(rw, h, rh);
    if (!within_limits(w, h, limits))
        return fail(error, "the size is above maxWidth, maxHeight or maxArea");
    r.outWidth = static_cast<int>(w);
    r.outHeight = static_cast<int>(h);
    return true;
}

bool parse_rotation(std::string_view s, image_request& r, request_error& error) {
    r.mirror = !s.empty() && s[0] == '!';
    if (r.mirror) s.remove_prefix(1);
    double degrees = 0;
    if (!ParseDecimal(s, degrees)) return fail(error, "malformed rotation");
    if (degrees > 360) return fail(error, "the rotation is above 360 degrees");
    if (degrees != std::floor(degrees) || static_cast<int>(degrees) % 90 != 0)
        return fail(error, "only rotations by multiples of 90 degrees are supported");
    r.rotation = static_cast<int>(degrees) % 360;
    return true;
}

bool parse_quality_format(std::string_view s, image_request& r, request_error& error) {
    const std::size_t dot = s.rfind('.');
    if (dot == std::string_view::npos) return fail(error, "malformed quality and format");
    const std::string_view q = s.substr(0, dot), f = s.substr(dot + 1);
    if (q == "default")
        r.q = quality::default_quality;
    else if (q == "color")
        r.q = quality::color;
    else if (q == "gray")
        r.q = quality::gray;
    else
        return fail(error, "unsupported quality (default, color or gray)");
    if (f == "jpg")
        r.f = format::jpg;
    else if (f == "png")
        r.f = format::png;
    else
        return fail(error, "unsupported format (jpg or png)");
    return true;
}

}  // namespace

void MaxSize(int width, int height, bool upscale, const output_limits& limits, int& outWidth,
             int& outHeight) {
    const double scale =
        std::min({static_cast<double>(limits.maxWidth) / width,
                  static_cast<double>(limits.maxHeight) / height,
                  std::sqrt(static_cast<double>(limits.maxArea) / width / height)});
    if (scale >= 1 && !upscale) {
        outWidth = width;
        outHeight = height;
        return;
    }
    // A hair above the product, so that an exact fit is not lost to rounding;
    // the loops below take back any step past a limit.
    long long w = std::max(1LL, static_cast<long long>(std::floor(width * scale + 1e-7)));
    long long h = std::max(1LL, static_cast<long long>(std::floor(height * scale + 1e-7)));
    w = std::min<long long>(w, limits.maxWidth);
    h = std::min<long long>(h, limits.maxHeight);
    while (w * h > limits.maxArea && (w > 1 || h > 1)) (w >= h ? w : h) -= 1;
    outWidth = static_cast<int>(w);
    outHeight = static_cast<int>(h);
}

bool ParseImageRequest(std::string_view parameters, int imageWidth, int imageHeight,
                       const output_limits& limits, image_request& out, request_error& error) {
    std::string_view segment[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t slash = parameters.find('/');
        if ((slash == std::string_view::npos) != (i == 3))
            return fail(error,
                        "an image request has four parameters: region/size/rotation/"
                        "quality.format");
        segment[i] = parameters.substr(0, slash);
        if (segment[i].empty()) return fail(error, "empty parameter");
        parameters = i == 3 ? std::string_view() : parameters.substr(slash + 1);
    }
    image_request r;
    if (!parse_region(segment[0], imageWidth, imageHeight, r, error) ||
        !parse_size(segment[1], limits, r, error) || !parse_rotation(segment[2], r, error) ||
        !parse_quality_format(segment[3], r, error))
        return false;
    out = r;
    return true;
}

const char* QualityName(quality q) {
    switch (q) {
        case quality::color:
            return "color";
        case quality::gray:
            return "gray";
        default:
            return "default";
    }
}

const char* FormatName(format f) {
    return f == format::png ? "png" : "jpg";
}

const char* MediaType(format f) {
    return f == format::png ? "image/png" : "image/jpeg";
}

}  // namespace server
}  // namespace tarvel
