// `tarvel pyramid SOURCE DIR`: opens the pyramid stored in DIR, or builds it
// from SOURCE with a progress bar, and prints its layers.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "host/host.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

const char* kind(int type) {
    switch (type) {
        case 1:
            return "grey";
        case 2:
            return "palette";
        case 3:
            return "RGB";
        default:
            return "?";
    }
}

struct pyramid_options {
    std::string source;
    std::string dir;
    bool rebuild = false;
    bool keepPalette = false;
    bool noWait = false;
    int threads = 2;
};

}  // namespace

// Two paths name the same source when they are equal or name the same file.
bool same_source(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

double seconds_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void print_layers(const tarvel::pyramid& p) {
    for (int k = 0; k < p.GetLayerCount(); ++k) {
        const tarvel::image& layer = *p.GetLayerAt(k);
        std::printf("layer %-2d  %6d x %-6d %-7s %4d page(s) x %d channel(s)\n", k,
                    layer.GetWidth(), layer.GetHeight(), kind(layer.GetType()),
                    layer.GetPageCount(), layer.GetChannelCount());
    }
}

int open_or_build(tarvel::pyramid& p, const std::string& source, const std::string& dir,
                  bool rebuild, bool wait) {
    const double start = seconds_now();
    if (p.Create(dir.c_str(), nullptr)) {
        if (same_source(p.GetName(), source)) {
            std::printf("opened    %s (pyramid of %s, %d layers) in %.3f s\n", dir.c_str(),
                        p.GetName().c_str(), p.GetLayerCount(), seconds_now() - start);
            return 0;
        }
        if (!rebuild) {
            std::fprintf(stderr,
                         "tarvel: %s holds the pyramid of another source, %s; pass --rebuild to "
                         "replace it with the pyramid of %s\n",
                         dir.c_str(), p.GetName().c_str(), source.c_str());
            return 1;
        }
        std::printf("replacing the pyramid of %s\n", p.GetName().c_str());
        p.Destroy();
    }
    KORBAS::CTerminalProgress bar(stderr);
    const double buildStart = seconds_now();
    // Another build of the directory is waited for, and said so, unless asked not to.
    p.SetBuildWait(false);
    bool built = p.Create(dir.c_str(), source.c_str(), -1, &bar);
    const std::string busy = dir + (dir.back() == '/' ? "" : "/") + ": " + tarvel::kBuildInProgress;
    if (!built && wait && p.GetError() == busy) {
        std::printf("waiting   for another build of %s to end\n", dir.c_str());
        std::fflush(stdout);
        p.SetBuildWait(true);
        built = p.Create(dir.c_str(), source.c_str(), -1, &bar);
    }
    if (!built) {
        bar.Abandon();
        const std::string why = p.GetError();
        report_failure(nullptr, why, why.find("page file") != std::string::npos);
        return 1;
    }
    bar.Finish();
    std::printf("built     %s from %s: %d layers in %.2f s, peak RSS %.1f MiB\n", dir.c_str(),
                source.c_str(), p.GetLayerCount(), seconds_now() - buildStart,
                peak_resident_bytes() / 1048576.0);
    return 0;
}

void add_keep_palette_flag(CLI::App* cmd, bool& keepPalette) {
    cmd->add_flag("--keep-palette", keepPalette,
                  "Keep a palette source's indices in the layers, which then average indices "
                  "rather than colours");
}

void add_pyramid_command(CLI::App& app) {
    auto options = std::make_shared<pyramid_options>();
    CLI::App* cmd = app.add_subcommand(
        "pyramid",
        std::string(
            "Open the pyramid stored in DIR, or build it from SOURCE (JPEG, PNG, TIFF or BMP) "
            "with a progress bar, then list its layers. Each layer halves the one before until "
            "both sides are at most 240 pixels. When DIR holds the pyramid of another source, "
            "nothing is changed unless --rebuild is given. One build of DIR runs at a time: a "
            "second one waits for the first to end (or, with --no-wait, fails at once); programs "
            "that have the pyramid open keep reading the pyramid they opened, whose files go when "
            "the last of them closes. ") +
            kKeepPaletteHelp);
    cmd->add_option("SOURCE", options->source, "Source image file")->required();
    cmd->add_option("DIR", options->dir, "Work directory of the pyramid (created when missing)")
        ->required();
    cmd->add_flag("--rebuild", options->rebuild,
                  "Replace a pyramid of another source stored in DIR");
    add_keep_palette_flag(cmd, options->keepPalette);
    cmd->add_flag("--no-wait", options->noWait,
                  "Fail at once, instead of waiting, when another build of DIR is in progress");
    cmd->add_option("--threads", options->threads,
                    "Threads of a build: 2 (default) decodes while a second thread makes the "
                    "layers, 1 does everything on one")
        ->check(CLI::Range(1, 2));
    cmd->callback([options] {
        tarvel::pyramid p;
        p.SetExpandPalette(!options->keepPalette);
        p.SetBuildThreads(options->threads);
        if (open_or_build(p, options->source, options->dir, options->rebuild, !options->noWait) !=
            0) {
            throw CLI::RuntimeError(1);
        }
        print_layers(p);
    });
}

}  // namespace tarvel_cli
