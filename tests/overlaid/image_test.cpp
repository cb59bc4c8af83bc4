// Overlaid images: tile geometry and refusals, the tile use protocol on a
// list with room for one tile, flushing one image, and samples surviving
// thousands of evictions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "overlaid_test_util.h"

using namespace tarvel_test;

namespace {

struct shape {
    unsigned width, height, channels;
    IImage::ImageType type;
    unsigned tileWidth, tileHeight;  // 0: the five-argument Create
    unsigned across, down, nominalWidth, nominalHeight, lastWidth, lastHeight, bytes;
};

}  // namespace

TEST(OverlaidImage, TileGeometryOfEveryShape) {
    const shape shapes[] = {
        {1024, 1024, 1, kGrey, 0, 0, 2, 2, 512, 512, 512, 512, 262144},
        {1023, 1024, 1, kGrey, 0, 0, 1, 1, 1023, 1024, 1023, 1024, 1023 * 1024},
        {600, 600, 3, kColour, 0, 0, 2, 2, 512, 512, 88, 88, 786432},
        {1000, 700, 1, kGrey, 512, 512, 2, 2, 512, 512, 488, 188, 262144},
        {100, 50, 1, kGrey, 512, 512, 1, 1, 100, 50, 100, 50, 5000},
        {10, 7, 3, kGrey, 4, 3, 3, 3, 4, 3, 2, 1, 36},  // 3 channels of grey are accepted
    };
    for (const shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.width << " x " << s.height << " x " << s.channels);
        held<COverlaidImage> image(new COverlaidImage);
        const unsigned usedBefore = image->GetPartList()->GetBytesInUse();
        ASSERT_TRUE(s.tileWidth ? image->Create(s.width, s.height, s.channels, kByte, s.type,
                                                s.tileWidth, s.tileHeight)
                                : image->Create(s.width, s.height, s.channels, kByte, s.type));
        EXPECT_EQ(image->GetTilesAcross(), s.across);
        EXPECT_EQ(image->GetTilesDown(), s.down);
        EXPECT_EQ(image->GetTileBytes(), s.bytes);
        EXPECT_EQ(image->GetTileRowStride(), s.channels * s.nominalWidth);
        ASSERT_EQ(image->GetPartCount(), s.across * s.down);
        for (unsigned k = 0; k < image->GetPartCount(); ++k) {
            const COverlaidImage::COverlaidImagePart* part = image->GetPart(k);
            EXPECT_EQ(part->m_nCol, k % s.across);
            EXPECT_EQ(part->m_nRow, k / s.across);
            EXPECT_EQ(part->m_nWidth, part->m_nCol + 1 < s.across ? s.nominalWidth : s.lastWidth);
            EXPECT_EQ(part->m_nHeight, part->m_nRow + 1 < s.down ? s.nominalHeight : s.lastHeight);
            EXPECT_EQ(part->m_nSize, s.bytes);
            EXPECT_EQ(part->GetData(), nullptr);  // no tile is loaded by Create
        }
        EXPECT_EQ(image->GetPartList()->GetBytesInUse(), usedBefore);
        EXPECT_EQ(image->GetPalette(), nullptr);
        EXPECT_EQ(image->ToString(), zun::String("COverlaidImage"));
    }
}

TEST(OverlaidImage, RefusalsLeaveNoTilesAndDestroyAnswersOnce) {
    held<COverlaidImage> image(new COverlaidImage(1024, 1024, 1, kByte, kGrey));
    // Refused types and channel counts keep the old size; later refusals record the new one.
    const struct {
        unsigned width, channels, tileWidth;
        IImage::ImageType type;
        unsigned widthAfter;
    } refusals[] = {{300, 1, 512, IImage::kImagePaletted, 1024},
                    {300, 1, 512, IImage::kImagePalette, 1024},
                    {300, 2, 512, kGrey, 1024},
                    {0, 1, 512, kGrey, 0},
                    {300, 1, 0, kGrey, 300}};
    for (const auto& r : refusals) {
        ASSERT_TRUE(image->Create(1024, 1024, 1, kByte, kGrey));
        image->PutPixel(1000, 1000, 0, 9);  // a loaded tile goes too
        EXPECT_FALSE(image->Create(r.width, 20, r.channels, kByte, r.type, r.tileWidth, 512));
        EXPECT_FALSE(image->HasTiles());
        EXPECT_EQ(image->GetPartCount(), 0u);
        EXPECT_EQ(image->GetWidth(), r.widthAfter);
        EXPECT_FALSE(image->Destroy());
    }
    EXPECT_EQ(image->GetPartList()->GetBytesInUse(), 0u);
    ASSERT_TRUE(image->Create(8, 8, 1, kByte, kGrey));
    EXPECT_TRUE(image->Destroy());
    EXPECT_FALSE(image->Destroy());
}

TEST(OverlaidImage, UseProtocolWithRoomForOneTile) {
    part_limit limit(512 * 512);
    std::vector<std::string> log;
    held<logging_image> a(new logging_image('A', log));
    ASSERT_TRUE(a->Create(1024, 1024, 1, kByte, kGrey));
    a->PutPixel(0, 0, 0, 1);  // tile 0
    const void* buffer = a->GetPart(0)->GetData();
    a->PutPixel(600, 0, 0, 2);  // tile 1: tile 0 saved, its buffer handed over, tile 1 loaded
    EXPECT_EQ(log, (std::vector<std::string>{"Alloc A0", "Load A0", "Save A0", "Detach A0",
                                             "Attach A1", "Load A1"}));
    EXPECT_EQ(a->GetPart(1)->GetData(), buffer);
    log.clear();
    EXPECT_EQ(a->GetPixel(600, 0, 0), 2);  // already loaded: nothing happens
    EXPECT_EQ(a->GetPixel(0, 0, 0), 1);    // tile 0 back, tile 1 out
    EXPECT_EQ(log, (std::vector<std::string>{"Save A1", "Detach A1", "Attach A0", "Load A0"}));

    // With room for two, touching a loaded tile makes it the most recently used
    // without loading it, so the other one is evicted next.
    a->GetPartList()->SetByteLimit(2 * 512 * 512);
    a->GetPixel(600, 0, 0);
    a->GetPixel(0, 0, 0);
    EXPECT_EQ(a->GetPartList()->m_pTail, a->GetPart(0));
    EXPECT_EQ(a->GetPartList()->m_pHead, a->GetPart(1));
    log.clear();
    a->GetPixel(0, 600, 0);  // tile 2
    EXPECT_EQ(log, (std::vector<std::string>{"Save A1", "Detach A1", "Attach A2", "Load A2"}));

    // Flush unloads this image's tiles and no other's; the next touch loads again.
    held<logging_image> b(new logging_image('B', log));
    ASSERT_TRUE(b->Create(1024, 1024, 1, kByte, kGrey));
    a->GetPartList()->SetByteLimit(8 * 512 * 512);
    b->PutPixel(0, 0, 0, 5);
    b->PutPixel(1023, 1023, 0, 6);
    log.clear();
    a->Flush();
    EXPECT_EQ(log, (std::vector<std::string>{"Save A0", "Save A2"}));
    EXPECT_EQ(a->GetPart(0)->GetData(), nullptr);
    EXPECT_EQ(a->GetPartList()->GetLoadedCount(), 2u);
    log.clear();
    EXPECT_EQ(a->GetPixel(0, 0, 0), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"Alloc A0", "Load A0"}));
}

TEST(OverlaidImage, SamplesSurviveThousandsOfEvictionsAcrossImages) {
    part_limit limit(3000);  // a few tiles at a time
    std::vector<std::string> log;
    const struct {
        unsigned width, height, channels, tileWidth, tileHeight;
    } shapes[] = {{300, 200, 1, 40, 30}, {200, 150, 3, 25, 20}, {257, 129, 1, 33, 64}};
    std::vector<held<logging_image>> images;
    std::vector<std::vector<unsigned char>> copies;
    for (const auto& s : shapes) {
        images.emplace_back(new logging_image('A', log));
        ASSERT_TRUE(images.back()->Create(s.width, s.height, s.channels, kByte, kGrey, s.tileWidth,
                                          s.tileHeight));
        copies.emplace_back(std::size_t{s.width} * s.height * s.channels, 0);
    }
    std::mt19937 random(7);
    int saves = 0;
    for (int step = 0; step < 60000; ++step) {
        const unsigned i = random() % 3;
        const auto& s = shapes[i];
        const int x = random() % s.width, y = random() % s.height, c = random() % s.channels;
        unsigned char& copy = copies[i][(std::size_t{s.height} * c + y) * s.width + x];
        if (random() % 2) {
            copy = static_cast<unsigned char>(random());
            images[i]->PutPixel(x, y, c, copy);
        } else {
            ASSERT_EQ(images[i]->GetPixel(x, y, c), copy) << step;
        }
        if (step % 4000 == 0) log.clear();
    }
    std::vector<unsigned char> plane;
    for (unsigned i = 0; i < 3; ++i) {
        const auto& s = shapes[i];
        plane.resize(std::size_t{s.width} * s.height);
        for (unsigned c = 0; c < s.channels; ++c) {
            images[i]->GetRegion(0, 0, s.width - 1, s.height - 1, c, plane.data());
            EXPECT_TRUE(
                std::equal(plane.begin(), plane.end(), copies[i].begin() + c * plane.size()));
        }
        EXPECT_FALSE(images[i]->HasFailed());
        saves += images[i]->saves;
    }
    EXPECT_GT(saves, 5000);
}
