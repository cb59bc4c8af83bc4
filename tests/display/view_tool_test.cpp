// `tarvel view`: exact views written as PNG files, and a clear refusal with a
// non-zero exit for every kind of bad request.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "display_test_util.h"

namespace tarvel_test {

namespace {

// Runs the tool with args; its standard output and error go to out.
int run_tool(const std::string& args, std::string& out) {
    out.clear();
    std::FILE* pipe = popen((std::string(TARVEL_TOOL) + " " + args + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// A PNG file read back through the host's decoder, as 0x00RRGGBB, top row first.
std::vector<std::uint32_t> read_png(const std::string& path, int& width, int& height) {
    KORBAS::CBitmapWindows dib(nullptr, path.c_str(), true);
    width = static_cast<int>(dib.getWidth());
    height = static_cast<int>(dib.getHeight());
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = dib.getBeginImage() + y * dib.getScanLineOffset();
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = row + x * dib.getStepColor();
            pixels.push_back((std::uint32_t(p[2]) << 16) | (p[1] << 8) | p[0]);
        }
    }
    return pixels;
}

}  // namespace

TEST(ViewTool, OneToOneViewsCopyThePictureAndScaledOnesMatchTheLibrary) {
    scratch_dir dir;
    const planes picture = random_planes(3, 300, 200, 11);
    const std::string source = write_bmp(dir.path() + "p.bmp", picture);
    std::string out;
    for (const char* smooth : {"", " --smooth"}) {
        const std::string png = dir.path() + "v.png";
        ASSERT_EQ(
            run_tool("view " + source + " --window 40,30,140,80 --size 100x50 -o " + png + smooth,
                     out),
            0)
            << out;
        int w = 0, h = 0;
        const std::vector<std::uint32_t> pixels = read_png(png, w, h);
        ASSERT_EQ(w * 1000 + h, 100050);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int sx = 40 + x, sy = 30 + y;
                const std::uint32_t expected = (std::uint32_t(picture.at(0, sx, sy)) << 16) |
                                               (picture.at(1, sx, sy) << 8) | picture.at(2, sx, sy);
                ASSERT_EQ(pixels[y * w + x], expected) << x << "," << y << smooth;
            }
    }
    // Around a centre at a quarter scale: the library's own picture of that window.
    const std::string png = dir.path() + "z.png";
    ASSERT_EQ(
        run_tool("view " + source + " --center 150,100 --zoom 0.25 --size 60x40 --smooth -o " + png,
                 out),
        0)
        << out;
    tarvel::CImagePyramid adapter(nullptr, (source + ".pyramid").c_str(), nullptr, nullptr);
    adapter.setSmoothing(1);
    const tarvel::view_window window = tarvel::WindowForView(200, 30, 20, 270, 180, 60, 40);
    QDC dc(60, 40);
    KORBAS::CBitmap* bitmap = adapter.createBitmap();
    bitmap->DisplayBitmap(dc, 0, 39, 59, 0, window.d1, window.d2, window.d3, window.d4);
    adapter.destroyBitmap(bitmap);
    int w = 0, h = 0;
    EXPECT_EQ(read_png(png, w, h), surface_rect(dc, 0, 0, 60, 40));
}

// The same views of a picture loaded into memory are the same files.
TEST(ViewTool, InMemoryViewsAreTheSameBytesAsPagedOnes) {
    scratch_dir dir;
    planes grey = random_planes(2, 700, 500, 13);
    for (int i = 0; i < 768; ++i) grey.palette[i] = static_cast<unsigned char>(i / 3);
    const std::string pictures[] = {
        write_bmp(dir.path() + "rgb.bmp", random_planes(3, 700, 500, 14)),
        write_bmp(dir.path() + "grey.bmp", grey)};
    const char* views[] = {"", " --window 10,20,610,420 --size 222x148 --smooth",
                           " --center 350,250 --zoom 1 --size 64x48",
                           " --center 300,200 --zoom 2.5 --size 70x50 --smooth"};
    for (const std::string& picture : pictures)
        for (const char* view : views) {
            std::string out;
            const std::string paged = dir.path() + "paged.png", memory = dir.path() + "memory.png";
            ASSERT_EQ(run_tool("view " + picture + view + " -o " + paged, out), 0) << out;
            ASSERT_EQ(run_tool("view --in-memory " + picture + view + " -o " + memory, out), 0)
                << out;
            EXPECT_EQ(read_text(paged), read_text(memory)) << picture << view;
        }
}

TEST(ViewTool, BadRequestsAreRefusedWithAReason) {
    scratch_dir dir;
    const std::string source = write_bmp(dir.path() + "p.bmp", random_planes(2, 64, 48, 12));
    const std::string bad = dir.path() + "not-a-picture.bmp";
    std::FILE* f = std::fopen(bad.c_str(), "w");
    std::fputs("hello", f);
    std::fclose(f);
    const std::string out = " -o " + dir.path() + "v.png";
    const struct {
        std::string args, says;
    } cases[] = {
        {source + " --window 10,10,10,20" + out, "positive width and height"},
        {source + " --window 10,10,5,20" + out, "positive width and height"},
        {source + " --window 1,2,3" + out, "give X0,Y0,X1,Y1"},
        {source + " --size 0x10" + out, "--size 0x10"},
        {source + " --size 20000x10" + out, "--size 20000x10"},
        {source + " --size 16000x16000" + out, "at most 33554432 pixels"},
        {source + " --size 10x10.5" + out, "whole numbers"},
        {source + " --center 5,5 --zoom 0" + out, "--zoom must be above 0"},
        {source + " --center 5" + out, "give X,Y"},
        {source + " --brightness 101" + out, "--brightness"},
        {source + " --contrast -1" + out, "--contrast"},
        {dir.path() + "missing.jpg" + out, "missing.jpg: No such file"},
        {bad + out, bad},
        {dir.path() + out, "no pyramid here"},
        {source + " -o " + dir.path() + "no/such/dir/v.png", "no/such/dir/v.png"},
        {"--in-memory " + dir.path() + out, "is a directory"},
        {"--in-memory " + source + " --contrast 60" + out, "not with --in-memory"},
        {"--in-memory " + bad + out, bad},
    };
    for (const auto& c : cases) {
        std::string said;
        EXPECT_NE(run_tool("view " + c.args, said), 0) << c.args;
        EXPECT_NE(said.find(c.says), std::string::npos) << c.args << "\n" << said;
    }
}

}  // namespace tarvel_test
