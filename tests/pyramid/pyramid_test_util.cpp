// Helpers of the pyramid tests: plain planes, their transfer into paged images,
// and reference resamplers.
#include "pyramid_test_util.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

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

void write_bmp(const std::string& path, const planes& p) {
    const bool colour = p.type == 3;
    const int rowBytes = ((colour ? 3 * p.width : p.width) + 3) & ~3;
    const int tableBytes = colour ? 0 : 1024;
    const std::uint32_t offset = 54 + tableBytes;
    const std::uint32_t size = offset + static_cast<std::uint32_t>(rowBytes) * p.height;
    std::vector<unsigned char> out;
    auto u16 = [&out](unsigned v) {
        out.push_back(v & 255);
        out.push_back((v >> 8) & 255);
    };
    auto u32 = [&u16](std::uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    };
    out.push_back('B');
    out.push_back('M');
    u32(size);
    u32(0);
    u32(offset);
    u32(40);
    u32(static_cast<std::uint32_t>(p.width));
    u32(static_cast<std::uint32_t>(p.height));  // bottom-up
    u16(1);
    u16(colour ? 24 : 8);
    u32(0);
    u32(static_cast<std::uint32_t>(rowBytes) * p.height);
    u32(2835);
    u32(2835);
    u32(colour ? 0 : 256);
    u32(0);
    for (int i = 0; i < (colour ? 0 : 256); ++i) {
        const bool pal = p.type == 2;
        out.push_back(pal ? p.palette[3 * i + 2] : i);
        out.push_back(pal ? p.palette[3 * i + 1] : i);
        out.push_back(pal ? p.palette[3 * i] : i);
        out.push_back(0);
    }
    for (int y = p.height - 1; y >= 0; --y) {
        const size_t start = out.size();
        for (int x = 0; x < p.width; ++x) {
            if (colour) {
                out.push_back(p.at(2, x, y));
                out.push_back(p.at(1, x, y));
                out.push_back(p.at(0, x, y));
            } else {
                out.push_back(p.at(0, x, y));
            }
        }
        out.resize(start + rowBytes, 0);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(out.data(), 1, out.size(), f), out.size());
    std::fclose(f);
}

void store_pyramid_by_hand(const std::string& dir, const std::vector<planes>& layers, int version,
                           const char* name) {
    const std::string ini = dir + "pyramid.ini";
    const int n = static_cast<int>(layers.size());
    for (int k = 0; k < n; ++k) {
        tarvel::image img;
        img.SetTempPath(dir.substr(0, dir.size() - 1).c_str());
        fill_image(img, layers[k]);
        const int section = version == 1 || version == 0 ? n - 1 - k : k;
        ASSERT_TRUE(img.Freeze("pyramid.ini", ("Layer" + std::to_string(section)).c_str(), true));
    }
    WritePrivateProfileStringA("PYRAMID", "Name", name, ini.c_str());
    WritePrivateProfileStringA("PYRAMID", "LayerCount", std::to_string(n).c_str(), ini.c_str());
    if (version != 0) {
        WritePrivateProfileStringA("PYRAMID", "Version", std::to_string(version).c_str(),
                                   ini.c_str());
    }
}

std::vector<planes> read_layers(tarvel::pyramid& p) {
    std::vector<planes> out;
    for (int k = 0; k < p.GetLayerCount(); ++k) out.push_back(read_image(*p.GetLayerAt(k)));
    return out;
}

std::vector<planes> expected_layers(const planes& source) {
    std::vector<planes> layers{source};
    const int n = tarvel::pyramid::CountLayers(source.width, source.height);
    for (int k = 1; k < n; ++k) {
        const planes& prev = layers.back();
        layers.push_back(reference_halve(prev, 0, 0, prev.width / 2, prev.height / 2));
    }
    return layers;
}

std::vector<std::string> list_files(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            struct stat st {};
            if (lstat((dir + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                names.push_back(entry->d_name);
            }
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void remove_directory(std::string dir) {
    if (dir.empty()) return;
    if (dir.back() != '/') dir += '/';
    for (const std::string& f : list_files(dir)) unlink((dir + f).c_str());
    rmdir(dir.c_str());
}

int run_in_child(int (*body)(void*), void* arg) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body(arg));
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

int recording_sink::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace tarvel_test
