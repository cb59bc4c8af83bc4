// Image request parsing: every region and size form resolved against an
// image, with the rounding and cropping rules, and the refusals.
#include <gtest/gtest.h>

#include "server/iiif_request.h"

namespace {

using tarvel::server::image_request;
using tarvel::server::output_limits;
using tarvel::server::ParseImageRequest;
using tarvel::server::request_error;

struct resolved {
    const char* request;
    int x, y, w, h, outW, outH;
};

// The published examples for a 300 x 200 image, then rounding cases worked by hand.
TEST(IiifRequest, RegionsAndSizesResolveToPixels) {
    const resolved table[] = {
        {"full/max/0/default.jpg", 0, 0, 300, 200, 300, 200},
        {"square/max/0/default.jpg", 50, 0, 200, 200, 200, 200},
        {"125,15,120,140/max/0/default.jpg", 125, 15, 120, 140, 120, 140},
        {"pct:41.6,7.5,40,70/max/0/default.jpg", 125, 15, 120, 140, 120, 140},
        {"125,15,200,200/max/0/default.jpg", 125, 15, 175, 185, 175, 185},
        {"pct:41.6,7.5,66.6,100/max/0/default.jpg", 125, 15, 175, 185, 175, 185},
        {"full/150,/0/default.jpg", 0, 0, 300, 200, 150, 100},
        {"full/^360,/0/default.jpg", 0, 0, 300, 200, 360, 240},
        {"full/,150/0/default.jpg", 0, 0, 300, 200, 225, 150},
        {"full/^,240/0/default.jpg", 0, 0, 300, 200, 360, 240},
        {"full/pct:50/0/default.jpg", 0, 0, 300, 200, 150, 100},
        {"full/^pct:120/0/default.jpg", 0, 0, 300, 200, 360, 240},
        {"full/225,100/0/default.jpg", 0, 0, 300, 200, 225, 100},
        {"full/^360,360/0/default.jpg", 0, 0, 300, 200, 360, 360},
        {"full/!225,100/0/default.jpg", 0, 0, 300, 200, 150, 100},
        {"full/^!360,360/0/default.jpg", 0, 0, 300, 200, 360, 240},
        {"full/!900,900/0/default.jpg", 0, 0, 300, 200, 300, 200},  // never above the region
        {"0,0,2,3/1,/0/default.jpg", 0, 0, 2, 3, 1, 2},             // 1.5 rounds up
        {"0,0,3,5/2,/0/default.jpg", 0, 0, 3, 5, 2, 3},             // 3.33 rounds down
        {"0,0,100,1/10,/0/default.jpg", 0, 0, 100, 1, 10, 1},       // 0.1 is kept at 1
        {"299,199,9,9/max/0/default.jpg", 299, 199, 1, 1, 1, 1},
        {"pct:0,0,0.4,100/max/0/default.jpg", 0, 0, 1, 200, 1, 200},  // 1.2 pixels wide
        {"full/pct:33.3/0/default.jpg", 0, 0, 300, 200, 100, 67},     // 99.9 and 66.6
    };
    for (const resolved& t : table) {
        image_request r;
        request_error e;
        ASSERT_TRUE(ParseImageRequest(t.request, 300, 200, output_limits(), r, e))
            << t.request << ": " << e.message;
        EXPECT_EQ((std::vector<int>{r.x, r.y, r.width, r.height, r.outWidth, r.outHeight}),
                  (std::vector<int>{t.x, t.y, t.w, t.h, t.outW, t.outH}))
            << t.request;
    }
}

TEST(IiifRequest, RotationQualityAndFormat) {
    using tarvel::server::format;
    using tarvel::server::quality;
    struct case_t {
        const char* request;
        bool mirror;
        int rotation;
        quality q;
        format f;
    } table[] = {
        {"full/max/0/default.jpg", false, 0, quality::default_quality, format::jpg},
        {"full/max/!0/color.png", true, 0, quality::color, format::png},
        {"full/max/90/gray.jpg", false, 90, quality::gray, format::jpg},
        {"full/max/!180/gray.png", true, 180, quality::gray, format::png},
        {"full/max/270.0/default.jpg", false, 270, quality::default_quality, format::jpg},
        {"full/max/360/default.jpg", false, 0, quality::default_quality, format::jpg},
    };
    for (const case_t& t : table) {
        image_request r;
        request_error e;
        ASSERT_TRUE(ParseImageRequest(t.request, 300, 200, output_limits(), r, e)) << t.request;
        EXPECT_EQ(r.mirror, t.mirror) << t.request;
        EXPECT_EQ(r.rotation, t.rotation) << t.request;
        EXPECT_EQ(r.q, t.q) << t.request;
        EXPECT_EQ(r.f, t.f) << t.request;
    }
}

// maxWidth 200 (maxHeight the same) and an area limit: `max` and `^max`
// scale to the largest size that fits; explicit sizes beyond it are refused.
TEST(IiifRequest, SizesKeepWithinTheLimits) {
    output_limits limits;
    limits.maxWidth = limits.maxHeight = 200;
    limits.maxArea = 30000;
    image_request r;
    request_error e;
    // 300 x 200 scaled by sqrt(30000 / 60000) = 0.7071: 212.1 x 141.4, then
    // the width limit: 200 x 133 (0.6667), area 26600.
    ASSERT_TRUE(ParseImageRequest("full/max/0/default.jpg", 300, 200, limits, r, e));
    EXPECT_EQ(r.outWidth, 200);
    EXPECT_EQ(r.outHeight, 133);
    // 120 x 140 upscaled: height limit 200 / 140 = 1.4286 and area
    // sqrt(30000 / 16800) = 1.3363: 160 x 187, area 29920.
    ASSERT_TRUE(ParseImageRequest("125,15,120,140/^max/0/default.jpg", 300, 200, limits, r, e));
    EXPECT_EQ(r.outWidth, 160);
    EXPECT_EQ(r.outHeight, 187);
    // A confined size is scaled into the limits instead of refused.
    ASSERT_TRUE(ParseImageRequest("full/^!1000,1000/0/default.jpg", 300, 200, limits, r, e));
    EXPECT_LE(r.outWidth * r.outHeight, 30000);
    EXPECT_EQ(r.outWidth, 200);
    for (const char* over : {"full/^201,/0/default.jpg", "full/^,201/0/default.jpg",
                             "full/^200,200/0/default.jpg", "full/^pct:101/0/default.jpg"}) {
        EXPECT_FALSE(ParseImageRequest(over, 300, 200, limits, r, e)) << over;
        EXPECT_EQ(e.status, 400);
    }
    // The default limits upscale a 1000 x 700 image by sqrt(16777216 / 700000).
    ASSERT_TRUE(ParseImageRequest("full/^max/0/default.jpg", 1000, 700, output_limits(), r, e));
    EXPECT_EQ(r.outWidth, 4895);
    EXPECT_EQ(r.outHeight, 3426);
}

TEST(IiifRequest, MalformedAndImpossibleRequestsAreRefused) {
    const char* refused[] = {
        // structure
        "",
        "full",
        "full/max/0",
        "full/max/0/default.jpg/x",
        "full//0/default.jpg",
        "/full/max/0/default.jpg",
        "full/max/0/default",
        // regions
        "Full/max/0/default.jpg",
        "-1,0,10,10/max/0/default.jpg",
        "0,0,10/max/0/default.jpg",
        "0,0,10,10,1/max/0/default.jpg",
        "1.5,0,10,10/max/0/default.jpg",
        "a,b,c,d/max/0/default.jpg",
        "0,0,0,10/max/0/default.jpg",
        "0,0,10,0/max/0/default.jpg",
        "300,0,10,10/max/0/default.jpg",
        "0,200,10,10/max/0/default.jpg",
        "99999999999999999999999,0,10,10/max/0/default.jpg",
        "pct:-1,0,10,10/max/0/default.jpg",
        "pct:.5,0,10,10/max/0/default.jpg",
        "pct:1e2,0,10,10/max/0/default.jpg",
        "pct:0,0,0.1,10/max/0/default.jpg",
        "pct:100,0,10,10/max/0/default.jpg",
        "%2e%2e/max/0/default.jpg",
        "../max/0/default.jpg",
        " 0,0,10,10/max/0/default.jpg",
        // sizes
        "full/0,/0/default.jpg",
        "full/,0/0/default.jpg",
        "full/0,0/0/default.jpg",
        "full/,/0/default.jpg",
        "full/301,/0/default.jpg",
        "full/,201/0/default.jpg",
        "full/300,201/0/default.jpg",
        "full/pct:0/0/default.jpg",
        "full/pct:100.5/0/default.jpg",
        "full/pct:0.1/0/default.jpg",
        "full/!0,10/0/default.jpg",
        "full/!10,/0/default.jpg",
        "full/max,/0/default.jpg",
        "full/^^max/0/default.jpg",
        "full/!^10,10/0/default.jpg",
        "full/^99999999999999999999,/0/default.jpg",
        "full/-10,/0/default.jpg",
        "full/10.5,/0/default.jpg",
        "full/full/0/default.jpg",
        // rotations
        "full/max/45/default.jpg",
        "full/max/361/default.jpg",
        "full/max/-90/default.jpg",
        "full/max/!!0/default.jpg",
        "full/max/90.5/default.jpg",
        "full/max/x/default.jpg",
        // qualities and formats
        "full/max/0/bitonal.jpg",
        "full/max/0/grey.jpg",
        "full/max/0/Default.jpg",
        "full/max/0/default.gif",
        "full/max/0/default.jpeg",
        "full/max/0/default.",
        "full/max/0/.jpg",
        "full/max/0/default.jpg.png",
    };
    for (const char* request : refused) {
        image_request r;
        request_error e;
        EXPECT_FALSE(ParseImageRequest(request, 300, 200, output_limits(), r, e)) << request;
        EXPECT_EQ(e.status, 400) << request;
        EXPECT_FALSE(e.message.empty()) << request;
    }
}

}  // namespace
