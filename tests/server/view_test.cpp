// A server's views map their pyramid's page files: a rebuild of the directory
// while they are open must leave every page they have yet to read, and the
// pool must not open a view of the new pyramid beside views of the old one.
#include <gtest/gtest.h>

#include "server/catalog.h"
#include "server_test_util.h"

namespace tarvel_test {
namespace {

using tarvel::server::raster;
using tarvel::server::served_image;
using tarvel::server::view_pool;

struct window {
    int x, y, w, h, outW, outH;
};

TEST(PyramidView, OpenViewsReadTheirOwnPyramidThroughARebuild) {
    scratch_dir dir;
    const std::string work = make_pyramid(dir, "p", random_planes(3, 1600, 1500, 1));
    served_image image;
    std::string error;
    ASSERT_TRUE(tarvel::server::DescribePyramid(work, image, error)) << error;
    view_pool pool(image);

    // Full resolution near the bottom (pages not read before the rebuild)
    // and the whole picture reduced.
    const window later[] = {{0, 1300, 512, 200, 512, 200}, {0, 0, 1600, 1500, 200, 188}};
    std::vector<picture> wanted;
    for (const window& w : later)
        wanted.push_back(expected_view(work, w.x, w.y, w.w, w.h, w.outW, w.outH));

    view_pool::lease view = pool.Acquire(error);
    ASSERT_TRUE(view) << error;
    raster out;
    ASSERT_TRUE(view->Render(0, 0, 256, 256, 256, 256, out, error)) << error;
    EXPECT_GT(view->Pyramid().GetLayerAt(0)->GetMappedCount(), 0);

    // Another picture of the same size built into the same directory meanwhile.
    const std::string other = write_bmp(dir.file_path("q.bmp"), random_planes(3, 1600, 1500, 2));
    ASSERT_TRUE(build(work, other));

    for (std::size_t i = 0; i < std::size(later); ++i) {
        const window& w = later[i];
        ASSERT_TRUE(view->Render(w.x, w.y, w.w, w.h, w.outW, w.outH, out, error)) << error;
        EXPECT_TRUE(out.pixels == wanted[i].pixels) << "window " << i << " changed under the view";
    }
    // A second worker gets no view of the new pyramid under the old one's tags.
    error.clear();
    EXPECT_FALSE(pool.Acquire(error));
    EXPECT_NE(error.find("another pyramid"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarvel_test
