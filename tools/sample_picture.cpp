// The built-in sample picture, computed one row at a time from tables made once.
#include "tools/sample_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tarvel_cli {

namespace {

// A deterministic pseudo-random sequence (xorshift), so that every run draws
// the same picture.
class sequence {
  public:
    explicit sequence(std::uint32_t seed) : m_state(seed != 0 ? seed : 1) {}
    std::uint32_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int in(int lo, int hi) {
        return lo + static_cast<int>(next() % static_cast<std::uint32_t>(hi - lo + 1));
    }
    double unit() { return (next() & 0xffffff) / 16777216.0; }

  private:
    std::uint32_t m_state;
};

struct rgb {
    unsigned char r, g, b;
};

struct circle {
    int cx, cy, r;
    rgb fill;
    bool town;  // towns get a dark ring and streets
};

struct box {
    int x0, y0, x1, y1;
    rgb fill;
};

}  // namespace

// The picture, computed one row at a time from tables made once: terrain
// waves are separable in x and y, roads are a height per column, rivers a
// column per row.
class sample_picture::terrain {
  public:
    terrain(int width, int height) : m_width(width) {
        sequence s(20240601);
        const double scale = 1.0 / std::max(width, height);
        // Waves in random directions, longer ones stronger: rolling terrain.
        for (int k = 0; k < kWaves; ++k) {
            wave& w = m_waves[k];
            const double cycles = 1.5 + k * 1.3 + s.unit();
            const double angle = 2 * M_PI * s.unit();
            w.amp = 0.22 / (1.0 + 0.6 * k);
            w.fx = cycles * std::cos(angle) * 2 * M_PI * scale;
            w.fy = cycles * std::sin(angle) * 2 * M_PI * scale;
            w.phase = 2 * M_PI * s.unit();
            w.sx.resize(width);
            w.cx.resize(width);
            for (int x = 0; x < width; ++x) {
                w.sx[x] = static_cast<float>(w.amp * std::sin(w.fx * x));
                w.cx[x] = static_cast<float>(w.amp * std::cos(w.fx * x));
            }
        }
        for (int i = 0; i < 256; ++i) m_ramp[i] = terrain_colour(i);
        const int roads = 6;
        m_roads.resize(roads, std::vector<int>(width));
        for (auto& road : m_roads) {
            const double base = height * (0.1 + 0.8 * s.unit());
            const double amp = height * (0.02 + 0.1 * s.unit());
            const double f = (1 + 4 * s.unit()) * 2 * M_PI / width;
            const double ph = 2 * M_PI * s.unit();
            for (int x = 0; x < width; ++x)
                road[x] = static_cast<int>(base + amp * std::sin(f * x + ph));
        }
        for (int i = 0; i < 3; ++i) {
            river r;
            r.base = width * (0.15 + 0.7 * s.unit());
            r.amp = width * (0.02 + 0.06 * s.unit());
            r.f = (1 + 3 * s.unit()) * 2 * M_PI / height;
            r.phase = 2 * M_PI * s.unit();
            m_rivers.push_back(r);
        }
        // Per 2.5 megapixels one lake and four towns, and ten buildings per town.
        const long long pixels = 1LL * width * height;
        const int lakes = static_cast<int>(std::min<long long>(pixels / 2500000 + 2, 2000));
        const int small = std::max(21, std::min(width, height) / 40);
        for (int i = 0; i < lakes; ++i) {
            m_circles.push_back(circle{s.in(0, width - 1), s.in(0, height - 1), s.in(20, small),
                                       rgb{40, 90, 170}, false});
        }
        for (int i = 0; i < 4 * lakes; ++i) {
            m_circles.push_back(circle{s.in(0, width - 1), s.in(0, height - 1), s.in(12, 70),
                                       rgb{215, 200, 185}, true});
        }
        for (int i = 0; i < 40 * lakes; ++i) {
            const int x = s.in(0, width - 1);
            const int y = s.in(0, height - 1);
            const unsigned char g = static_cast<unsigned char>(s.in(70, 130));
            m_boxes.push_back(box{x, y, x + s.in(6, 40), y + s.in(6, 40),
                                  rgb{g, g, static_cast<unsigned char>(g + 10)}});
        }
    }

    // Row y as red, green, blue bytes.
    void row(int y, unsigned char* out) const {
        float cy[kWaves], sy[kWaves];
        for (int k = 0; k < kWaves; ++k) {
            cy[k] = static_cast<float>(std::cos(m_waves[k].fy * y + m_waves[k].phase));
            sy[k] = static_cast<float>(std::sin(m_waves[k].fy * y + m_waves[k].phase));
        }
        // Terrain with fine texture.
        for (int x = 0; x < m_width; ++x) {
            float h = 0.5f;
            for (int k = 0; k < kWaves; ++k)
                h += m_waves[k].sx[x] * cy[k] + m_waves[k].cx[x] * sy[k];
            int level = static_cast<int>(h * 255.0f);
            level = level < 0 ? 0 : level > 255 ? 255 : level;
            const std::uint32_t n = (static_cast<std::uint32_t>(x) * 73856093u) ^
                                    (static_cast<std::uint32_t>(y) * 19349663u);
            const int grain = static_cast<int>((n >> 7) & 15) - 8;
            const rgb c = m_ramp[level];
            out[3 * x] = clamp(c.r + grain);
            out[3 * x + 1] = clamp(c.g + grain);
            out[3 * x + 2] = clamp(c.b + grain);
        }
        for (const circle& c : m_circles) draw_circle(c, y, out);
        for (const box& b : m_boxes) {
            if (y < b.y0 || y > b.y1) continue;
            const bool edge = y == b.y0 || y == b.y1;
            for (int x = std::max(0, b.x0); x <= std::min(m_width - 1, b.x1); ++x) {
                const bool border = edge || x == b.x0 || x == b.x1;
                put(out, x, border ? rgb{30, 30, 30} : b.fill);
            }
        }
        for (const river& r : m_rivers) {
            const int centre = static_cast<int>(r.base + r.amp * std::sin(r.f * y + r.phase));
            for (int x = std::max(0, centre - 5); x <= std::min(m_width - 1, centre + 5); ++x) {
                put(out, x, rgb{30, 80, 200});
            }
        }
        for (const auto& road : m_roads) {
            for (int x = 0; x < m_width; ++x) {
                const int d = y - road[x];
                if (d >= -4 && d <= 4) put(out, x, d == 0 ? rgb{250, 220, 40} : rgb{200, 50, 30});
            }
        }
        // The grid: heavy lines every 1000 pixels, light ones every 250.
        const bool heavyRow = y % 1000 < 3;
        const bool lightRow = y % 250 == 0;
        for (int x = 0; x < m_width; ++x) {
            if (heavyRow || x % 1000 < 3) {
                put(out, x, rgb{20, 20, 20});
            } else if (lightRow || x % 250 == 0) {
                put(out, x, rgb{235, 235, 235});
            }
        }
    }

  private:
    static constexpr int kWaves = 6;
    struct wave {
        double amp, fx, fy, phase;
        std::vector<float> sx, cx;
    };
    struct river {
        double base, amp, f, phase;
    };

    static unsigned char clamp(int v) {
        return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    static void put(unsigned char* out, int x, rgb c) {
        out[3 * x] = c.r;
        out[3 * x + 1] = c.g;
        out[3 * x + 2] = c.b;
    }
    // Deep water, shallows, beach, lowland greens, hills, rock, snow.
    static rgb terrain_colour(int i) {
        struct stop {
            int at;
            rgb c;
        };
        static const stop stops[] = {{0, {10, 30, 90}},      {80, {40, 110, 190}},
                                     {95, {200, 190, 140}},  {110, {90, 160, 70}},
                                     {160, {40, 120, 50}},   {200, {140, 110, 70}},
                                     {235, {150, 150, 150}}, {255, {250, 250, 250}}};
        int k = 0;
        while (stops[k + 1].at < i) ++k;
        const stop& a = stops[k];
        const stop& b = stops[k + 1];
        const int t = (i - a.at) * 256 / std::max(1, b.at - a.at);
        auto mix = [t](int p, int q) { return static_cast<unsigned char>(p + (q - p) * t / 256); };
        return rgb{mix(a.c.r, b.c.r), mix(a.c.g, b.c.g), mix(a.c.b, b.c.b)};
    }
    void draw_circle(const circle& c, int y, unsigned char* out) const {
        const int dy = y - c.cy;
        if (dy < -c.r || dy > c.r) return;
        const int half =
            static_cast<int>(std::sqrt(static_cast<double>(c.r) * c.r - 1.0 * dy * dy));
        const int inner = c.r > 4 ? static_cast<int>(std::sqrt(
                                        std::max(0.0, (c.r - 3.0) * (c.r - 3.0) - 1.0 * dy * dy)))
                                  : 0;
        for (int x = std::max(0, c.cx - half); x <= std::min(m_width - 1, c.cx + half); ++x) {
            const int dx = x - c.cx;
            const bool ring =
                c.town && (dx < -inner || dx > inner || dy * dy > (c.r - 3) * (c.r - 3));
            const bool street = c.town && ((x % 9) == 0 || (y % 9) == 0);
            put(out, x, ring ? rgb{60, 20, 20} : street ? rgb{150, 130, 120} : c.fill);
        }
    }

    int m_width;
    wave m_waves[kWaves];
    rgb m_ramp[256];
    std::vector<std::vector<int>> m_roads;
    std::vector<river> m_rivers;
    std::vector<circle> m_circles;
    std::vector<box> m_boxes;
};

sample_picture::sample_picture(int width, int height)
    : m_terrain(std::make_unique<terrain>(width, height)), m_width(width), m_height(height) {}

sample_picture::~sample_picture() = default;

void sample_picture::row(int y, unsigned char* out) const {
    m_terrain->row(y, out);
}

}  // namespace tarvel_cli
