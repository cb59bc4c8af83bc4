// Helpers of the pyramid tests: plain planes, their transfer into paged images,
// and reference resamplers.
#include "pyramid_test_util.h"

#include <algorithm>

namespace tarvel_test {

namespace {

int clamp(long long v, int n) {
    return static_cast<int>(std::min<long long>(std::max<long long>(v, 0), n - 1));
}

int channels_of(int type) {
    return type == 3 ? 3 : 1;
}

}  // namespace

planes random_planes(int type, int width, int height, std::uint32_t seed) {
    planes p;
    p.type = type;
    p.width = width;
    p.height = height;
    std::uint32_t s = seed * 2654435761u + 12345u;
    auto next = [&s] {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return static_cast<unsigned char>(s >> 11);
    };
    p.channel.resize(channels_of(type));
    for (auto& plane : p.channel) {
        plane.resize(static_cast<size_t>(width) * height);
        for (auto& v : plane) v = next();
    }
    if (type == 2) {
        p.palette.resize(768);
        for (auto& v : p.palette) v = next();
    }
    return p;
}

void fill_image(tarvel::image& img, const planes& p) {
    ASSERT_TRUE(img.Create(p.type, p.width, p.height, 0));
    for (int c = 0; c < static_cast<int>(p.channel.size()); ++c) {
        tarvel::image::pointer at(&img, c, 0);
        for (unsigned char v : p.channel[c]) {
            *at = v;
            ++at;
        }
    }
    if (p.type == 2) std::copy(p.palette.begin(), p.palette.end(), img.GetPalette());
}

planes read_image(tarvel::image& img) {
    planes p;
    p.type = img.GetType();
    p.width = img.GetWidth();
    p.height = img.GetHeight();
    p.channel.resize(channels_of(p.type));
    for (int c = 0; c < static_cast<int>(p.channel.size()); ++c) {
        p.channel[c].resize(static_cast<size_t>(p.width) * p.height);
        img.GetRegion(0, 0, p.width - 1, p.height - 1, c, p.channel[c].data());
    }
    if (p.type == 2) p.palette.assign(img.GetPalette(), img.GetPalette() + 768);
    return p;
}

planes reference_halve(const planes& src, int x, int y, int width, int height) {
    planes out = src;
    out.width = width;
    out.height = height;
    for (int c = 0; c < static_cast<int>(src.channel.size()); ++c) {
        out.channel[c].assign(static_cast<size_t>(width) * height, 0);
        for (int j = 0; j < height; ++j) {
            for (int i = 0; i < width; ++i) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy) {
                    for (int dx = 0; dx < 2; ++dx) {
                        sum += src.at(c, clamp(x + 2LL * i + dx, src.width),
                                      clamp(y + 2LL * j + dy, src.height));
                    }
                }
                out.channel[c][static_cast<size_t>(j) * width + i] =
                    static_cast<unsigned char>(sum / 4);
            }
        }
    }
    return out;
}

planes reference_bilinear(const planes& src, int x, int y, int srcWidth, int srcHeight, int width,
                          int height) {
    planes out = src;
    out.width = width;
    out.height = height;
    for (int c = 0; c < static_cast<int>(src.channel.size()); ++c) {
        out.channel[c].assign(static_cast<size_t>(width) * height, 0);
        for (int j = 0; j < height; ++j) {
            const __int128 sy = static_cast<__int128>(j) * srcHeight * 256 / height;
            const long long iy = static_cast<long long>(sy / 256);
            const int fy = static_cast<int>(sy % 256);
            for (int i = 0; i < width; ++i) {
                const __int128 sx = static_cast<__int128>(i) * srcWidth * 256 / width;
                const long long ix = static_cast<long long>(sx / 256);
                const int fx = static_cast<int>(sx % 256);
                auto s = [&](long long dx, long long dy) {
                    return src.at(c, clamp(x + ix + dx, src.width), clamp(y + iy + dy, src.height));
                };
                const long long top = s(0, 0) * (256 - fx) + s(1, 0) * fx;
                const long long bottom = s(0, 1) * (256 - fx) + s(1, 1) * fx;
                out.channel[c][static_cast<size_t>(j) * width + i] =
                    static_cast<unsigned char>((top * (256 - fy) + bottom * fy) / 65536);
            }
        }
    }
    return out;
}

int recording_sink::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace tarvel_test
