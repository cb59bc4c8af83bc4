// Many clients at once on several pyramids: every answer equals the one a
// single client gets, and no pyramid is opened more often than there are workers.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "server/server.h"
#include "server_test_util.h"

namespace tarvel_test {
namespace {

TEST(ServeThreads, ManyClientsOnSeveralPyramidsGetWhatOneClientGets) {
    constexpr int kWorkers = 4;
    constexpr int kClients = 12;
    scratch_dir dir;
    const std::vector<std::string> pyramids = {
        make_pyramid(dir, "colour", random_planes(3, 1200, 900, 11)),
        make_pyramid(dir, "palette", random_planes(2, 700, 500, 12)),
        make_pyramid(dir, "grey", random_planes(1, 900, 300, 13)),
    };
    tarvel::server::tile_server server;
    std::string error, warning;
    for (const std::string& p : pyramids) ASSERT_TRUE(server.AddPyramid(p, error)) << error;
    tarvel::server::server_options options;
    options.port = 0;
    options.threads = kWorkers;
    options.cacheBytes = 0;  // every answer rendered anew
    ASSERT_TRUE(server.Start(options, error, warning)) << error;

    // Tiles at every scale of every pyramid, in both formats, with the odd
    // rotation and adjustment, as a viewer asks for them.
    std::vector<std::string> targets;
    std::mt19937 random(5);
    for (const auto& image : server.Images()) {
        for (int scale = 1; scale <= 8; scale *= 2) {
            const int span = 256 * scale;
            for (int k = 0; k < 6; ++k) {
                const int x = static_cast<int>(random() % image.width) / span * span;
                const int y = static_cast<int>(random() % image.height) / span * span;
                const int w = std::min(span, image.width - x), h = std::min(span, image.height - y);
                targets.push_back(
                    "/iiif/3/" + image.id + "/" + std::to_string(x) + "," + std::to_string(y) +
                    "," + std::to_string(w) + "," + std::to_string(h) + "/" +
                    std::to_string((w + scale - 1) / scale) + ",/" + (k == 1 ? "90" : "0") +
                    "/default." + (k % 2 ? "png" : "jpg") + (k == 2 ? "?contrast=70" : ""));
            }
        }
    }
    std::vector<std::string> reference;
    for (const std::string& t : targets) {
        const http_reply r = http_get(server.Port(), t);
        ASSERT_EQ(r.status, 200) << t << ": " << r.body;
        reference.push_back(r.body);
    }

    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            std::vector<size_t> order(targets.size());
            for (size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::shuffle(order.begin(), order.end(), std::mt19937(c));
            for (const size_t i : order)
                if (http_get(server.Port(), targets[i]).body != reference[i]) ++wrong;
        });
    }
    for (std::thread& t : clients) t.join();
    EXPECT_EQ(wrong.load(), 0);
    for (int i = 0; i < static_cast<int>(pyramids.size()); ++i) {
        EXPECT_GE(server.OpenedViews(i), 1);
        EXPECT_LE(server.OpenedViews(i), kWorkers);
    }
    server.Stop();
}

}  // namespace
}  // namespace tarvel_test
