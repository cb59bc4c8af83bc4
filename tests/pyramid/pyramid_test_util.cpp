// Helpers of the pyramid tests: plain planes, their transfer into paged images,
// reference resamplers and hand-written files.
#include "pyramid_test_util.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "../imagefile/bmp_bytes.h"
#include "platform/platform.h"
#include "pyramid/page_files.h"

namespace tarvel_test {

namespace {

// Sample (x, y) of channel c, the edge sample repeated outside the planes.
long long edge(const planes& src, int c, long long x, long long y) {
    auto clamp = [](long long v, int n) { return static_cast<int>(std::clamp(v, 0LL, n - 1LL)); };
    return src.at(c, clamp(x, src.width), clamp(y, src.height));
}

// Planes of src's kind and palette, sample (i, j) of channel c being value(c, i, j).
template <class F>
planes make_like(const planes& src, int width, int height, F value) {
    const size_t n = static_cast<size_t>(width) * height;
    planes out{src.type, width, height,
               decltype(src.channel)(src.channel.size(), std::vector<unsigned char>(n)),
               src.palette};
    for (size_t c = 0; c < out.channel.size(); ++c)
        for (size_t at = 0; at < n; ++at)
            out.channel[c][at] = static_cast<unsigned char>(value(int(c), at % width, at / width));
    return out;
}

}  // namespace

planes random_planes(int type, int width, int height, std::uint32_t seed) {
    std::minstd_rand next(seed + 1);
    planes p{type, width, height, std::vector<std::vector<unsigned char>>(type == 3 ? 3 : 1),
             std::vector<unsigned char>(type == 2 ? 768 : 0)};
    for (auto& v : p.palette) v = static_cast<unsigned char>(next() >> 8);
    return make_like(p, width, height, [&next](int, int, int) { return next() >> 8; });
}

void fill_image(tarvel::image& img, const planes& p) {
    ASSERT_TRUE(img.Create(p.type, p.width, p.height, 0));
    for (size_t c = 0; c < p.channel.size(); ++c) {
        tarvel::image::pointer at(&img, int(c), 0);
        for (size_t i = 0; i < p.channel[c].size(); ++i, ++at) *at = p.channel[c][i];
    }
    std::copy(p.palette.begin(), p.palette.end(), img.GetPalette());
}

planes read_image(tarvel::image& img) {
    planes p{img.GetType(), img.GetWidth(), img.GetHeight(), {}, {}};
    p.channel.assign(p.type == 3 ? 3 : 1, std::vector<unsigned char>(size_t(p.width) * p.height));
    for (size_t c = 0; c < p.channel.size(); ++c)
        img.GetRegion(0, 0, p.width - 1, p.height - 1, int(c), p.channel[c].data());
    if (p.type == 2) p.palette.assign(img.GetPalette(), img.GetPalette() + 768);
    return p;
}

planes reference_halve(const planes& src, int x, int y, int width, int height) {
    return make_like(src, width, height, [&](int c, int i, int j) {
        long long sum = 0;
        for (int d = 0; d < 4; ++d) sum += edge(src, c, x + 2LL * i + d % 2, y + 2LL * j + d / 2);
        return sum / 4;
    });
}

planes reference_bilinear(const planes& src, int x, int y, int srcWidth, int srcHeight, int width,
                          int height) {
    return make_like(src, width, height, [&](int c, int i, int j) {
        const __int128 sx = static_cast<__int128>(i) * srcWidth * 256 / width;
        const __int128 sy = static_cast<__int128>(j) * srcHeight * 256 / height;
        const long long ix = x + static_cast<long long>(sx / 256), fx = sx % 256;
        const long long iy = y + static_cast<long long>(sy / 256), fy = sy % 256;
        auto s = [&](int dx, int dy) { return edge(src, c, ix + dx, iy + dy); };
        const long long top = s(0, 0) * (256 - fx) + s(1, 0) * fx;
        const long long bottom = s(0, 1) * (256 - fx) + s(1, 1) * fx;
        return (top * (256 - fy) + bottom * fy) / 65536;
    });
}

std::vector<planes> expected_layers(const planes& source, int n) {
    std::vector<planes> layers{source};
    for (int k = 1; k < n; ++k)
        layers.push_back(reference_halve(layers[k - 1], 0, 0, layers[k - 1].width / 2,
                                         layers[k - 1].height / 2));
    return layers;
}

std::vector<planes> read_layers(tarvel::pyramid& p) {
    std::vector<planes> out;
    for (int k = 0; k < p.GetLayerCount(); ++k) out.push_back(read_image(*p.GetLayerAt(k)));
    return out;
}

std::string write_bmp(const std::string& path, const planes& p) {
    const bool rgb = p.type == 3;
    const bmp_recipe r{rgb ? 24 : 8, p.width, p.height, 0, rgb ? 0 : 256};
    auto sample = [&p](int c, int x, int y) { return p.at(c, x, y); };
    write_bytes(path, rgb ? make_bmp24(r, sample)
                          : make_bmp8(r, sample, bytes(p.palette.begin(), p.palette.end())));
    return path;
}

bool build(const std::string& work, const std::string& source, tarvel::pyramid* p,
           KORBAS::IProgressWork* sink) {
    tarvel::pyramid own;
    return (p ? *p : own).Create(work.c_str(), source.c_str(), -1, sink);
}

void store_pyramid_by_hand(const std::string& dir, const std::vector<planes>& layers, int version) {
    const std::string ini = dir + "pyramid.ini";
    const int n = static_cast<int>(layers.size());
    for (int k = 0; k < n; ++k) {
        tarvel::image img;
        img.SetTempPath(dir.substr(0, dir.size() - 1).c_str());
        fill_image(img, layers[k]);
        const int section = version <= 1 ? n - 1 - k : k;
        ASSERT_TRUE(img.Freeze("pyramid.ini", ("Layer" + std::to_string(section)).c_str(), true));
    }
    WritePrivateProfileStringA("PYRAMID", "Name", "source.bmp", ini.c_str());
    WritePrivateProfileStringA("PYRAMID", "LayerCount", std::to_string(n).c_str(), ini.c_str());
    const std::string v = std::to_string(version);
    WritePrivateProfileStringA("PYRAMID", "Version", version ? v.c_str() : nullptr, ini.c_str());
}

std::vector<std::string> stray_page_files(const scratch_dir& dir) {
    const std::string profile = read_text(dir.path() + "pyramid.ini");
    std::vector<std::string> stray;
    for (const std::string& f : dir.files())
        if (tarvel::IsPageFileName(f) && profile.find("=" + f + "\n") == std::string::npos)
            stray.push_back(f);
    return stray;
}

}  // namespace tarvel_test
