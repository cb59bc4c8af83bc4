// The host image adapters: their answers, their layer questions, opening or
// building a pyramid, and the ownership of their bitmaps.
#include <gtest/gtest.h>

#include <unistd.h>

#include "display_test_util.h"

namespace tarvel_test {

TEST(Adapter, ClassAndBytesPerPixel) {
    const struct {
        int type, mode;
        unsigned short bpp;
    } kinds[] = {{1, 0, 1}, {2, 0, 1}, {3, 2, 3}, {3, 3, 4}};
    for (const auto& k : kinds) {
        tarvel::CImageOverlay overlay(nullptr, nullptr, nullptr);
        ASSERT_TRUE(overlay.getImage().Create(k.type, 30, 20, k.mode));
        EXPECT_EQ(overlay.getClass(), 1);
        EXPECT_EQ(overlay.getBPP(), k.bpp) << k.type << "/" << k.mode;
        EXPECT_EQ(overlay.getWidth() * 100 + overlay.getHeight(), 3020u);
        KORBAS::CBitmap* b = overlay.createBitmap();
        EXPECT_EQ(b->getBPP(), k.bpp);
        EXPECT_EQ(b->getImage(), &overlay);
        overlay.destroyBitmap(b);
    }
    for (int type : {1, 3}) {
        tarvel::CImagePyramid p(make_pyramid(random_layers(type, 40, 30, 2, 1)));
        EXPECT_EQ(p.getClass(), 2);
        EXPECT_EQ(p.getBPP(), type == 3 ? 3 : 1);
        EXPECT_EQ(p.getWidth() * 100 + p.getHeight(), 4030u);
        Image::CImageOverlaidPyramid o(make_overlaid_pyramid(random_layers(type, 40, 30, 2, 1)));
        EXPECT_EQ(o.getClass(), 3);
        EXPECT_EQ(o.getBPP(), type == 3 ? 3 : 1);
        EXPECT_EQ(o.getWidth() * 100 + o.getHeight(), 4030u);
    }
}

TEST(Adapter, LayerQuestions) {
    tarvel::CImagePyramid three(make_pyramid(random_layers(1, 1001, 601, 3, 2)));
    tarvel::CImagePyramid six(make_pyramid(random_layers(1, 1001, 601, 6, 2)));
    const struct {
        double a, b;
        int withThree, withSix;
    } scales[] = {{1.0, 1.0, 0, 0},   {2.0, 4.0, 0, 0},   {0.5, 1.0, 1, 1}, {0.3, 0.25, 2, 2},
                  {0.01, 0.01, 2, 5}, {0.124, 1.0, 2, 3}, {0.0, 1.0, 2, 5}, {1.0, -1.0, 0, 0}};
    for (const auto& s : scales) {
        EXPECT_EQ(three.GetLayerForDisplayAt(s.a, s.b), s.withThree) << s.a << ", " << s.b;
        EXPECT_EQ(six.GetLayerForDisplayAt(s.a, s.b), s.withSix) << s.a << ", " << s.b;
    }
    EXPECT_EQ(three.GetLayerCount(), 3);
    EXPECT_EQ(three.GetLayerWidth(2) * 1000 + three.GetLayerHeight(2), 250150u);
    unsigned w = 0, h = 0;
    three.GetImageDimensionAtLayer(2, w, h);
    EXPECT_EQ(w * 1000 + h, 1000600u);
    three.GetImageDimensionAtLayer(0, w, h);
    EXPECT_EQ(w * 1000 + h, 1001601u);
    // Outside the layers: no size, no read.
    EXPECT_EQ(three.GetLayerWidth(3) + three.GetLayerHeight(-1), 0u);
    unsigned char sample = 7;
    three.GetRegion(5, 0, 0, 0, 0, 0, &sample);
    EXPECT_EQ(sample, 7);
}

TEST(Adapter, OpensAStoredPyramidBuildsOneOrThrows) {
    scratch_dir dir;
    const std::string work = dir.path() + "work";
    const std::string source = write_bmp(dir.path() + "source.bmp", random_planes(3, 400, 200, 3));
    {
        recording_sink sink;
        tarvel::CImagePyramid built(source.c_str(), work.c_str(), nullptr, &sink);
        EXPECT_EQ(built.GetLayerCount(), 2);
        EXPECT_FALSE(sink.calls.empty());
    }
    // The stored pyramid opens without its source.
    ASSERT_EQ(unlink(source.c_str()), 0);
    tarvel::CImagePyramid opened(source.c_str(), work.c_str(), nullptr, nullptr);
    EXPECT_EQ(opened.getWidth() * 1000 + opened.getHeight(), 400200u);
    EXPECT_EQ(opened.getPyramid().GetName(), source);
    tarvel::CImagePyramid alsoWithoutName(nullptr, work.c_str(), nullptr, nullptr);
    EXPECT_EQ(alsoWithoutName.GetLayerCount(), 2);

    // Nothing stored and nothing to build from: the exception, and no object.
    const std::string empty = dir.path() + "empty";
    EXPECT_THROW(tarvel::CImagePyramid(nullptr, empty.c_str(), nullptr, nullptr),
                 tarvel::CPyramidNotCreatedException);
    EXPECT_THROW(tarvel::CImagePyramid(source.c_str(), empty.c_str(), nullptr, nullptr),
                 tarvel::CPyramidNotCreatedException);
    EXPECT_THROW(tarvel::CImagePyramid(nullptr, nullptr, nullptr, nullptr),
                 tarvel::CPyramidNotCreatedException);
}

TEST(Adapter, BitmapsGoBackOnlyToTheirOwnAdapter) {
    tarvel::CImagePyramid a(make_pyramid(random_layers(1, 50, 50, 1, 4)));
    tarvel::CImagePyramid b(make_pyramid(random_layers(1, 50, 50, 1, 5)));
    tarvel::CImageOverlay c(nullptr, nullptr, nullptr);
    Image::CImageOverlaidPyramid d(make_overlaid_pyramid(random_layers(1, 50, 50, 1, 6)));
    KORBAS::CBitmap* mine = a.createBitmap();
    b.destroyBitmap(mine);  // another pyramid's: left alone
    c.destroyBitmap(mine);
    d.destroyBitmap(mine);
    b.destroyBitmap(nullptr);
    QDC dc(10, 10);
    mine->DisplayBitmap(dc, 0, 9, 9, 0, 0, 0, 9, 9);  // still alive
    EXPECT_EQ(static_cast<tarvel::CBitmapViewWindows*>(mine)->GetFillCount(), 1);
    a.destroyBitmap(mine);

    // flush writes back and frees every unpinned page.
    tarvel::pyramid& p = a.getPyramid();
    std::vector<unsigned char> row(50);
    p.GetRegion(0, 0, 0, 49, 0, 0, row.data());
    EXPECT_GT(p.GetLayerAt(0)->GetInMemoryCount(), 0);
    a.flush();
    EXPECT_EQ(p.GetLayerAt(0)->GetInMemoryCount(), 0);

    // The overlaid adapter counts every flush, tiles loaded or not.
    EXPECT_EQ(d.GetFlush(), 0);
    d.flush();
    d.flush();
    EXPECT_EQ(d.GetFlush(), 2);
}

}  // namespace tarvel_test
