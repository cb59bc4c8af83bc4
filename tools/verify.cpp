// `tarvel verify`: writes a known pattern into a paged image much larger than its
// cache, reads it back through iterators and region reads, and verifies every sample.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/image.h"
#include "tools/commands.h"
#include "tools/console.h"

namespace tarvel_cli {

namespace {

// Counts the pages that really reach the disk.
class counting_image : public tarvel::image {
  public:
    long long pagesWritten = 0;

  protected:
    void SavePage(scan_page* page) override {
        if (page->IsDirty()) ++pagesWritten;
        image::SavePage(page);
    }
};

unsigned char pattern(int channel, int x, int y) {
    return static_cast<unsigned char>((x ^ (y * 31)) + channel * 85 + (y >> 8));
}

// One line of progress per tenth of a phase, redrawn in place on a terminal.
class phase_progress {
  public:
    phase_progress(const char* name, long long total) : m_name(name), m_total(total) {}
    void update(long long done) {
        const int tenth = static_cast<int>(done * 10 / (m_total > 0 ? m_total : 1));
        if (tenth == m_shown) return;
        m_shown = tenth;
        std::fprintf(stderr, m_tty ? "\r%-8s %3d%%" : "%-8s %3d%%\n", m_name, tenth * 10);
        if (m_tty && tenth == 10) std::fputc('\n', stderr);
    }

  private:
    const char* m_name;
    long long m_total;
    int m_shown = -1;
    bool m_tty = isatty(2) != 0;
};

struct verify_options {
    int width = 20000;
    int height = 18000;
    bool grey = false;
    std::string directory;
};

void write_pattern(counting_image& img) {
    const int channels = img.GetChannelCount();
    phase_progress progress("write", static_cast<long long>(channels) * img.GetHeight());
    for (int c = 0; c < channels; ++c) {
        tarvel::image::pointer p(&img, c, 0);
        for (int y = 0; y < img.GetHeight(); ++y) {
            for (int x = 0; x < img.GetWidth(); ++x, ++p) *p = pattern(c, x, y);
            progress.update(static_cast<long long>(c) * img.GetHeight() + y + 1);
        }
    }
}

long long verify_with_iterators(counting_image& img) {
    long long mismatches = 0;
    const int channels = img.GetChannelCount();
    phase_progress progress("iterate", static_cast<long long>(channels) * img.GetHeight());
    for (int c = 0; c < channels; ++c) {
        tarvel::image::ipointer p(&img, c, 0);
        for (int y = 0; y < img.GetHeight(); ++y) {
            for (int x = 0; x < img.GetWidth(); ++x, ++p) mismatches += *p != pattern(c, x, y);
            progress.update(static_cast<long long>(c) * img.GetHeight() + y + 1);
        }
    }
    return mismatches;
}

long long verify_with_regions(counting_image& img) {
    // Bands of 1024 lines and up to 4096 columns: rectangles that cross pages.
    const int bandW = img.GetWidth() < 4096 ? img.GetWidth() : 4096;
    const int bandH = 1024;
    std::vector<unsigned char> buffer(static_cast<size_t>(bandW) * bandH);
    long long mismatches = 0;
    const int channels = img.GetChannelCount();
    phase_progress progress("regions", static_cast<long long>(channels) * img.GetHeight());
    for (int c = 0; c < channels; ++c) {
        for (int y0 = 0; y0 < img.GetHeight(); y0 += bandH) {
            const int y1 = std::min(img.GetHeight(), y0 + bandH) - 1;
            for (int x0 = 0; x0 < img.GetWidth(); x0 += bandW) {
                const int x1 = std::min(img.GetWidth(), x0 + bandW) - 1;
                img.GetRegion(x0, y0, x1, y1, c, buffer.data());
                const unsigned char* q = buffer.data();
                for (int y = y0; y <= y1; ++y) {
                    for (int x = x0; x <= x1; ++x) mismatches += *q++ != pattern(c, x, y);
                }
            }
            progress.update(static_cast<long long>(c) * img.GetHeight() + y1 + 1);
        }
    }
    return mismatches;
}

int run_verify(const verify_options& options) {
    private_temp_dir temp;
    std::string error;
    if (!temp.Create("verify", options.directory, error)) {
        report_failure("verify", error, false);
        return 1;
    }
    const std::string& dir = temp.path();
    const auto start = std::chrono::steady_clock::now();
    long long mismatches = 0;
    long long pagesWritten = 0;
    long long samples = 0;
    {
        counting_image img;
        if (!img.SetTempPath(dir.c_str())) {
            report_failure("verify", img.GetError(), false);
            return 1;
        }
        if (!img.Create(options.grey ? 1 : 3, options.width, options.height, 0)) {
            std::fprintf(stderr, "tarvel verify: cannot create a %d x %d image\n", options.width,
                         options.height);
            return 1;
        }
        samples = static_cast<long long>(img.GetChannelCount()) * img.GetWidth() * img.GetHeight();
        std::printf("image     %d x %d, %d channel(s), %lld MiB of samples\n", img.GetWidth(),
                    img.GetHeight(), img.GetChannelCount(), samples >> 20);
        std::printf("pages     %d per channel of %d bytes (%d lines); cache holds %d pages\n",
                    img.GetPageCount(), img.GetPageSize(), img.GetPageLen(), img.GetCacheLimit());
        std::printf("directory %s\n", dir.c_str());
        std::fflush(stdout);
        write_pattern(img);
        mismatches += verify_with_iterators(img);
        mismatches += verify_with_regions(img);
        pagesWritten = img.pagesWritten;
        if (img.GetPageSaveFailures() != 0 || img.GetPageLoadFailures() != 0) {
            report_failure("verify", img.GetError(), true);
            return 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("written   %lld pages\n", pagesWritten);
    std::printf("verified  %lld samples twice, %lld wrong\n", samples, mismatches);
    std::printf("time      %.2f s\n", seconds);
    std::printf("peak RSS  %.1f MiB\n", peak_resident_bytes() / 1048576.0);
    std::printf("%s\n", mismatches == 0 ? "OK" : "FAILED");
    return mismatches == 0 ? 0 : 1;
}

}  // namespace

void add_verify_command(CLI::App& app) {
    auto options = std::make_shared<verify_options>();
    CLI::App* cmd = app.add_subcommand(
        "verify",
        "Write a known pattern into a large paged image (1 GiB of samples by default, far "
        "beyond the 16 MiB cache) in a temporary directory, read it back through iterators "
        "and region reads, verify every sample, and report pages written, time and peak "
        "memory.");
    cmd->add_option("--width", options->width, "Image width in pixels")->check(CLI::PositiveNumber);
    cmd->add_option("--height", options->height, "Image height in pixels")
        ->check(CLI::PositiveNumber);
    cmd->add_flag("--grey", options->grey, "One grey channel instead of three colour channels");
    cmd->add_option("--dir", options->directory,
                    "Where the page files go (default: $TMPDIR), in a new directory of their "
                    "own, removed afterwards")
        ->check(CLI::ExistingDirectory);
    on_run(cmd, [options] { return run_verify(*options); });
}

}  // namespace tarvel_cli
