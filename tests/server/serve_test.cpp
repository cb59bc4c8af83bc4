// The server over HTTP: pictures of every request form against the fill's own
// view, info.json field by field, the headers clients and caches rely on, and
// refusals of malformed and oversized requests.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "server/server.h"
#include "server/tile_cache.h"
#include "server_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::server::server_options;
using tarvel::server::tile_server;

class ServeTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new scratch_dir();
        colour = make_pyramid(*dir, "colour", random_planes(3, 1000, 700, 7));
        grey = make_pyramid(*dir, "grey", random_planes(1, 300, 200, 8));
        palette = make_pyramid(*dir, "palette", random_planes(2, 300, 200, 9));
        smooth = make_pyramid(*dir, "smooth", smooth_planes(600, 400));
        server = new tile_server();
        std::string error, warning;
        for (const std::string* d : {&colour, &grey, &palette, &smooth})
            ASSERT_TRUE(server->AddPyramid(*d, error)) << error;
        server_options options;
        options.port = 0;
        options.threads = 2;
        options.webDirectory = TARVEL_SOURCE_WEB_DIR;
        ASSERT_TRUE(server->Start(options, error, warning)) << error;
        port = server->Port();
    }
    static void TearDownTestSuite() {
        delete server;
        delete dir;
    }

    static http_reply get(const std::string& target, const std::string& headers = "") {
        return http_get(port, target, headers);
    }

    static scratch_dir* dir;
    static std::string colour, grey, palette, smooth;
    static tile_server* server;
    static int port;
};

scratch_dir* ServeTest::dir;
std::string ServeTest::colour, ServeTest::grey, ServeTest::palette, ServeTest::smooth;
tile_server* ServeTest::server;
int ServeTest::port;

// Rotates a picture clockwise by quarter turns after an optional mirroring,
// pixel by pixel from the definition.
picture turned(const picture& in, bool mirror, int quarters) {
    picture out = in;
    if (quarters % 2 == 1) std::swap(out.width, out.height);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const int mx = mirror ? in.width - 1 - x : x;
            int ox = mx, oy = y;
            for (int q = 0; q < quarters; ++q) {  // (x, y) -> (h - 1 - y, x) per quarter turn
                const int h = q % 2 == 0 ? in.height : in.width;
                const int nx = h - 1 - oy;
                oy = ox;
                ox = nx;
            }
            for (int c = 0; c < in.channels; ++c)
                out.pixels[(static_cast<size_t>(oy) * out.width + ox) * in.channels + c] =
                    in.at(x, y, c);
        }
    return out;
}

picture luma(const picture& in) {
    picture out{in.width, in.height, 1, {}};
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            out.pixels.push_back(static_cast<unsigned char>(std::lround(
                0.299 * in.at(x, y, 0) + 0.587 * in.at(x, y, 1) + 0.114 * in.at(x, y, 2))));
    return out;
}

TEST_F(ServeTest, PicturesMatchTheFillForEveryRequestForm) {
    struct form {
        const char* request;  // region/size, then /0/default.png is added
        int x, y, w, h, outW, outH;
    } table[] = {
        {"full/max", 0, 0, 1000, 700, 1000, 700},
        {"square/max", 150, 0, 700, 700, 700, 700},
        {"square/200,", 150, 0, 700, 700, 200, 200},
        {"0,0,512,512/512,512", 0, 0, 512, 512, 512, 512},          // a full-resolution tile
        {"512,512,512,512/488,188", 512, 512, 488, 188, 488, 188},  // the corner tile, cut
        {"0,0,1024,1024/256,", 0, 0, 1000, 700, 256, 179},          // scale 4, cut: 179.2
        {"0,0,2048,2048/125,88", 0, 0, 1000, 700, 125, 88},         // scale 8 as a viewer asks
        {"100,50,333,222/max", 100, 50, 333, 222, 333, 222},
        {"pct:10,20,30,40/max", 100, 140, 300, 280, 300, 280},
        {"pct:41.6,7.5,66.6,100/pct:50", 416, 53, 584, 647, 292, 324},  // 323.5 rounds up
        {"full/,350", 0, 0, 1000, 700, 500, 350},
        {"full/!300,300", 0, 0, 1000, 700, 300, 210},
        {"full/!90,300", 0, 0, 1000, 700, 90, 63},
        {"full/333,111", 0, 0, 1000, 700, 333, 111},     // distorted
        {"10,10,30,20/^100,", 10, 10, 30, 20, 100, 67},  // upscaled
        {"10,10,30,20/^!100,100", 10, 10, 30, 20, 100, 67},
        {"10,10,30,20/^pct:250", 10, 10, 30, 20, 75, 50},
    };
    for (const form& f : table) {
        const http_reply reply = get(std::string("/iiif/3/colour/") + f.request + "/0/default.png");
        ASSERT_EQ(reply.status, 200) << f.request << ": " << reply.body;
        picture got;
        ASSERT_TRUE(decode_png(reply.body, got)) << f.request;
        const picture want = expected_view(colour, f.x, f.y, f.w, f.h, f.outW, f.outH);
        EXPECT_EQ(got.width, f.outW) << f.request;
        EXPECT_EQ(got.height, f.outH) << f.request;
        EXPECT_TRUE(got.pixels == want.pixels) << f.request;
    }

    // Mirroring, quarter turns and grey apply to the same picture.
    const picture base = expected_view(colour, 100, 50, 64, 48, 64, 48);
    struct turn {
        const char* rotation;
        bool mirror;
        int quarters;
    } turns[] = {{"!0", true, 0},   {"90", false, 1}, {"180", false, 2},
                 {"270", false, 3}, {"!90", true, 1}, {"!270", true, 3}};
    for (const turn& t : turns) {
        for (const bool gray : {false, true}) {
            const http_reply reply = get(std::string("/iiif/3/colour/100,50,64,48/max/") +
                                         t.rotation + (gray ? "/gray.png" : "/color.png"));
            picture got;
            ASSERT_TRUE(decode_png(reply.body, got)) << t.rotation;
            const picture want = turned(gray ? luma(base) : base, t.mirror, t.quarters);
            EXPECT_EQ(got.width, want.width) << t.rotation;
            EXPECT_TRUE(got.pixels == want.pixels) << t.rotation << (gray ? " gray" : " color");
        }
    }

    // A grey pyramid gives grey pictures for every quality; a palette
    // pyramid its colours.
    for (const char* q : {"default", "color", "gray"}) {
        picture got;
        ASSERT_TRUE(
            decode_png(get(std::string("/iiif/3/grey/full/150,/0/") + q + ".png").body, got));
        EXPECT_EQ(got.channels, 1) << q;
        EXPECT_TRUE(got.pixels == expected_view(grey, 0, 0, 300, 200, 150, 100).pixels) << q;
    }
    picture got;
    ASSERT_TRUE(decode_png(get("/iiif/3/palette/20,30,200,100/100,50/0/default.png").body, got));
    EXPECT_EQ(got.channels, 3);
    EXPECT_TRUE(got.pixels == expected_view(palette, 20, 30, 200, 100, 100, 50).pixels);
}

TEST_F(ServeTest, JpegTilesAndAdjustedTilesShowTheSameView) {
    const picture gradient = expected_view(smooth, 256, 128, 300, 256, 150, 128);
    picture got;
    const http_reply reply = get("/iiif/3/smooth/256,128,300,256/150,128/0/default.jpg");
    ASSERT_EQ(reply.header("content-type"), "image/jpeg");
    ASSERT_TRUE(decode_jpeg(reply.body, got));
    ASSERT_EQ(got.pixels.size(), gradient.pixels.size());
    double sum = 0;
    for (size_t i = 0; i < got.pixels.size(); ++i)
        sum += std::abs(got.pixels[i] - gradient.pixels[i]);
    EXPECT_LT(sum / got.pixels.size(), 2.0);  // quality 90 on gentle gradients

    const picture want = expected_view(colour, 256, 128, 512, 512, 256, 256);
    // Brightness and contrast map the samples through the paged image's own table.
    tarvel::image mapping;
    mapping.SetBrightnessContrast(70, 35);
    const unsigned char* table = mapping.GetIntensityTable();
    ASSERT_NE(table, nullptr);
    picture adjusted;
    ASSERT_TRUE(decode_png(
        get("/iiif/3/colour/256,128,512,512/256,256/0/default.png?brightness=70&contrast=35").body,
        adjusted));
    ASSERT_EQ(adjusted.pixels.size(), want.pixels.size());
    for (size_t i = 0; i < want.pixels.size(); ++i)
        ASSERT_EQ(adjusted.pixels[i], table[want.pixels[i]]) << "sample " << i;
    for (const char* bad : {"?brightness=101", "?contrast=-1", "?brightness=abc", "?contrast="})
        EXPECT_EQ(get(std::string("/iiif/3/colour/full/100,/0/default.jpg") + bad).status, 400)
            << bad;
}

TEST_F(ServeTest, InfoJsonDescribesTheImageFieldByField) {
    const http_reply reply = get("/iiif/3/colour/info.json");
    ASSERT_EQ(reply.status, 200);
    json info;
    ASSERT_TRUE(parse_json(reply.body, info)) << reply.body;
    EXPECT_EQ(info.order.at(0), "@context");
    EXPECT_EQ(info["@context"].str, "http://iiif.io/api/image/3/context.json");
    EXPECT_EQ(info["id"].str, "http://127.0.0.1:" + std::to_string(port) + "/iiif/3/colour");
    EXPECT_EQ(info["type"].str, "ImageService3");
    EXPECT_EQ(info["protocol"].str, "http://iiif.io/api/image");
    EXPECT_EQ(info["profile"].str, "level2");
    EXPECT_EQ(info["width"].num, 1000);
    EXPECT_EQ(info["height"].num, 700);
    EXPECT_EQ(info["maxWidth"].num, 10000);
    EXPECT_EQ(info["maxHeight"].num, 10000);
    EXPECT_EQ(info["maxArea"].num, 16777216);
    // Layers 1000 x 700, 500 x 350, 250 x 175 and 125 x 87, smallest first.
    const int sizes[][2] = {{125, 87}, {250, 175}, {500, 350}, {1000, 700}};
    ASSERT_EQ(info["sizes"].items.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(info["sizes"][i]["width"].num, sizes[i][0]);
        EXPECT_EQ(info["sizes"][i]["height"].num, sizes[i][1]);
    }
    ASSERT_EQ(info["tiles"].items.size(), 1u);
    EXPECT_EQ(info["tiles"][0]["width"].num, 512);
    EXPECT_EQ(info["tiles"][0]["height"].num, 512);
    const std::vector<double> factors = {1, 2, 4, 8};
    std::vector<double> got;
    for (const json& f : info["tiles"][0]["scaleFactors"].items) got.push_back(f.num);
    EXPECT_EQ(got, factors);
    ASSERT_EQ(info["extraQualities"].items.size(), 2u);
    EXPECT_EQ(info["extraQualities"][0].str, "color");
    EXPECT_EQ(info["extraQualities"][1].str, "gray");
    std::vector<std::string> features;
    for (const json& f : info["extraFeatures"].items) features.push_back(f.str);
    EXPECT_EQ(features,
              (std::vector<std::string>{"mirroring", "profileLinkHeader", "sizeUpscaling"}));

    // Every size and tile it announces is served at that size.
    for (const auto& s : sizes) {
        picture p;
        ASSERT_TRUE(decode_jpeg(get("/iiif/3/colour/full/" + std::to_string(s[0]) + "," +
                                    std::to_string(s[1]) + "/0/default.jpg")
                                    .body,
                                p));
        EXPECT_EQ(p.width, s[0]);
        EXPECT_EQ(p.height, s[1]);
    }
    // A grey image offers gray only; the id follows the Host a client used.
    ASSERT_TRUE(parse_json(get("/iiif/3/grey/info.json").body, info));
    ASSERT_EQ(info["extraQualities"].items.size(), 1u);
    ASSERT_TRUE(parse_json(http_exchange(port,
                                         "GET /iiif/3/grey/info.json HTTP/1.1\r\nHost: "
                                         "tiles.example.org\r\nConnection: close\r\n\r\n")
                               .body,
                           info));
    EXPECT_EQ(info["id"].str, "http://tiles.example.org/iiif/3/grey");
}

TEST_F(ServeTest, HeadersForClientsAndCaches) {
    const std::string tile = "/iiif/3/colour/0,0,512,512/512,512/0/default.jpg";
    const http_reply reply = get(tile);
    EXPECT_EQ(reply.header("access-control-allow-origin"), "*");
    EXPECT_EQ(reply.header("link"), "<http://iiif.io/api/image/3/level2.json>;rel=\"profile\"");
    EXPECT_NE(reply.header("cache-control").find("public"), std::string::npos);
    const std::string etag = reply.header("etag");
    ASSERT_EQ(etag.size(), 18u);
    // The same picture spelt otherwise has the same tag; a known tag gets 304.
    EXPECT_EQ(get("/iiif/3/colour/pct:0,0,51.2,73.1428/max/0/default.jpg").header("etag"), etag);
    EXPECT_NE(get("/iiif/3/colour/0,0,512,512/512,512/0/default.png").header("etag"), etag);
    const http_reply cached = get(tile, "If-None-Match: \"x\", " + etag + "\r\n");
    EXPECT_EQ(cached.status, 304);
    EXPECT_TRUE(cached.body.empty());
    EXPECT_EQ(get(tile, "If-None-Match: \"0000000000000000\"\r\n").status, 200);

    const http_reply head = http_get(port, tile, "", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("content-length"), std::to_string(reply.body.size()));
    EXPECT_TRUE(head.body.empty());

    const http_reply info = get("/iiif/3/colour/info.json");
    EXPECT_EQ(info.header("content-type"),
              "application/ld+json;profile=\"http://iiif.io/api/image/3/context.json\"");
    EXPECT_EQ(info.header("access-control-allow-origin"), "*");
    EXPECT_EQ(
        get("/iiif/3/colour/info.json", "Accept: application/json\r\n").header("content-type"),
        "application/json");
    EXPECT_EQ(
        get("/iiif/3/colour/info.json", "If-None-Match: " + info.header("etag") + "\r\n").status,
        304);

    for (const char* base : {"/iiif/3/colour", "/iiif/3/colour/"}) {
        const http_reply redirect = get(base);
        EXPECT_EQ(redirect.status, 303) << base;
        EXPECT_EQ(redirect.header("location"),
                  "http://127.0.0.1:" + std::to_string(port) + "/iiif/3/colour/info.json");
    }
    const http_reply preflight = http_get(port, tile, "Origin: http://elsewhere\r\n", "OPTIONS");
    EXPECT_EQ(preflight.status, 204);
    EXPECT_NE(preflight.header("access-control-allow-methods").find("GET"), std::string::npos);

    const http_reply index = get("/");
    EXPECT_EQ(index.status, 200);
    EXPECT_NE(index.body.find("/view/colour"), std::string::npos);
    EXPECT_NE(index.body.find("/view/grey"), std::string::npos);
    const http_reply viewer = get("/view/colour");
    EXPECT_EQ(viewer.status, 200);
    EXPECT_NE(viewer.body.find("/web/viewer.js"), std::string::npos);
    EXPECT_EQ(get("/web/viewer.js").header("content-type"), "text/javascript; charset=utf-8");
}

TEST_F(ServeTest, MalformedRequestsAreRefusedAndTheServerCarriesOn) {
    struct refusal {
        const char* target;
        int status;
    } table[] = {
        {"/iiif/3/nothing/info.json", 404},
        {"/iiif/3/../../etc/passwd", 404},
        {"/iiif/3/%2e%2e/%2e%2e/etc/passwd", 404},
        {"/iiif/3/%2e%2e/info.json", 404},
        {"/iiif/3/colour/%2e%2e/max/0/default.jpg", 400},
        {"/iiif/3/colour/../../../../etc/passwd", 400},
        {"/iiif/3/colour/full/max/0/..%2f..%2fdefault.jpg", 400},
        {"/iiif/3/colour/-1,0,10,10/max/0/default.jpg", 400},
        {"/iiif/3/colour/0,0,0,10/max/0/default.jpg", 400},
        {"/iiif/3/colour/full/0,/0/default.jpg", 400},
        {"/iiif/3/colour/99999999999999999999,0,1,1/max/0/default.jpg", 400},
        {"/iiif/3/colour/full/^99999999999999999999,/0/default.jpg", 400},
        {"/iiif/3/colour/full/^20000,/0/default.jpg", 400},
        {"/iiif/3/colour/full/^8000,8000/0/default.jpg", 400},
        {"/iiif/3/colour/x,y,w,h/max/0/default.jpg", 400},
        {"/iiif/3/colour/full/max/0/bitonal.jpg", 400},
        {"/iiif/3/colour/full/max/0/default.tif", 400},
        {"/iiif/3/colour/full/max/0/default%00.jpg", 400},
        {"/iiif/3/colour/full/max/0/default.jpg/extra", 400},
        {"/iiif/3/", 404},
        {"/etc/passwd", 404},
        {"/web/../CMakeLists.txt", 404},
        {"/web/%2e%2e/viewer.js", 404},
        {"/view/../index.html", 404},
        {"/view/nothing", 404},
    };
    for (const refusal& r : table) {
        const http_reply reply = get(r.target);
        EXPECT_EQ(reply.status, r.status) << r.target << ": " << reply.body;
        EXPECT_FALSE(reply.body.empty()) << r.target;
    }
    EXPECT_EQ(get("/iiif/3/colour/full/10,/0/default.jpg").status, 200);
}

TEST_F(ServeTest, RequestsBeyondTheHttpLimitsAreRefused) {
    std::string many;
    for (int i = 0; i < 70; ++i) many += "X-Header-" + std::to_string(i) + ": x\r\n";
    EXPECT_EQ(get("/iiif/3/colour/info.json", many).status, 431);
    const http_reply longUri = get("/iiif/3/colour/" + std::string(40000, 'a'));
    EXPECT_TRUE(longUri.status == 414 || longUri.status == 431) << longUri.status;
    EXPECT_EQ(http_get(port, "/iiif/3/colour/info.json", "", "POST").status, 405);
    EXPECT_EQ(http_get(port, "/iiif/3/colour/info.json", "", "DELETE").status, 405);
    EXPECT_EQ(http_exchange(port,
                            "GET /iiif/3/colour/info.json HTTP/1.1\r\nHost: h\r\n"
                            "Content-Length: 5\r\nConnection: close\r\n\r\nhello")
                  .status,
              413);
    const int garbage = http_exchange(port, "GARBAGE\r\n\r\n").status;
    EXPECT_TRUE(garbage == 0 || garbage == 400) << garbage;  // refused or hung up on
    EXPECT_EQ(get("/iiif/3/colour/info.json").status, 200);
}

TEST(TileCache, KeepsTheMostRecentlyUsedWithinItsBudget) {
    tarvel::server::tile_cache cache(1000);
    auto body = [](char c) { return std::make_shared<const std::string>(120, c); };
    cache.Insert("a", body('a'));
    cache.Insert("b", body('b'));
    cache.Insert("too big", std::make_shared<const std::string>(200, 'x'));  // above 1000 / 8
    EXPECT_EQ(cache.Bytes(), 2u * 121u);
    EXPECT_EQ(cache.Find("too big"), nullptr);
    for (char c = 'c'; c <= 'j'; ++c) {
        ASSERT_NE(cache.Find("a"), nullptr) << c;  // kept in use: never the oldest
        cache.Insert(std::string(1, c), body(c));
    }
    EXPECT_LE(cache.Bytes(), 1000u);
    EXPECT_EQ(*cache.Find("a"), std::string(120, 'a'));
    EXPECT_EQ(cache.Find("b"), nullptr);  // the least recently used went first
    EXPECT_NE(cache.Find("j"), nullptr);
}

TEST(ServeStart, RefusesWhatItCannotServe) {
    tile_server server;
    std::string error, warning;
    scratch_dir dir;
    EXPECT_FALSE(server.AddPyramid(dir.file_path("missing"), error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(server.AddPyramid(dir.bare(), error));  // an empty directory
    EXPECT_NE(error.find("no pyramid"), std::string::npos);
    server_options options;
    options.bind = "not an address";
    EXPECT_FALSE(server.Start(options, error, warning));
    EXPECT_NE(error.find("not an address"), std::string::npos);
}

}  // namespace
}  // namespace tarvel_test
