// Fuzz target: any text as the four parameters of an image request, for an
// image whose size the first four bytes choose. A refusal must say why with
// 400; an accepted request must name a region inside the image and a size of
// at least one pixel within the limits.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server/iiif_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int width = 1 + ((data[0] << 8) | data[1]) % 40000;
    const int height = 1 + ((data[2] << 8) | data[3]) % 40000;
    const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
    tarvel::server::output_limits limits;
    if (size % 2 == 1) {  // small limits too, so that scaling down is exercised
        limits.maxWidth = 1 + data[0] % 300;
        limits.maxHeight = 1 + data[1] % 300;
        limits.maxArea = 1 + data[2] * 200;
    }
    tarvel::server::image_request r;
    tarvel::server::request_error e;
    if (!tarvel::server::ParseImageRequest(text, width, height, limits, r, e)) {
        if (e.status != 400 || e.message.empty()) std::abort();
        return 0;
    }
    const bool inside = r.x >= 0 && r.y >= 0 && r.width >= 1 && r.height >= 1 &&
                        r.x + static_cast<long long>(r.width) <= width &&
                        r.y + static_cast<long long>(r.height) <= height;
    const bool sized = r.outWidth >= 1 && r.outHeight >= 1 && r.outWidth <= limits.maxWidth &&
                       r.outHeight <= limits.maxHeight &&
                       static_cast<long long>(r.outWidth) * r.outHeight <= limits.maxArea;
    const bool turned =
        r.rotation == 0 || r.rotation == 90 || r.rotation == 180 || r.rotation == 270;
    if (!inside || !sized || !turned) std::abort();
    return 0;
}
