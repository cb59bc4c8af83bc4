// `tarvel image info DIR FILE [SECTION]`: what a frozen image's directory
// describes and whether every file it names is there, without changing anything.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/directory.h"
#include "image/image.h"
#include "platform/platform.h"
#include "tools/commands.h"

namespace tarvel_cli {

namespace {

// Problem pages listed one by one before the rest are only counted.
constexpr int kListedProblems = 20;

// Exit statuses.
constexpr int kComplete = 0;
constexpr int kIncomplete = 1;
constexpr int kUnreadable = 2;

struct info_options {
    std::string dir;
    std::string file;
    std::string section;
};

const char* kind_name(int type, int mode) {
    switch (type) {
        case 1:
            return "grey, 1 channel";
        case 2:
            return "palette indices, 1 channel";
        case 3:
            return mode == 3 ? "colour, 4 channels" : "colour, 3 channels";
        default:
            return "unknown";
    }
}

// Why one named file does not make the directory complete; empty when it is fine.
std::string file_problem(const tarvel::directory_entry& e, long long bytes) {
    if (e.value.size() < 2) return "no file";
    if (e.name.empty()) return "\"" + e.value + "\" does not name a file of the directory";
    if (!e.present) return e.name + " missing";
    if (e.bytes != bytes) {
        return e.name + " has " + std::to_string(e.bytes) + " bytes, not " + std::to_string(bytes);
    }
    return std::string();
}

bool section_exists(const std::string& path, const std::string& section) {
    char keys[4];
    return GetPrivateProfileStringA(section.c_str(), nullptr, "", keys, sizeof keys, path.c_str()) >
           0;
}

int run_info(info_options o) {
    if (o.dir.empty() || (o.dir.back() != '/' && o.dir.back() != '\\')) o.dir += '/';
    if (o.section.empty()) o.section = o.file;
    const std::string path = o.dir + o.file;
    tarvel::image_directory d;
    const bool thaws = d.Read(o.dir.c_str(), o.file.c_str(), o.section.c_str());
    std::printf("directory file  %s\n", path.c_str());
    std::printf("section         %s\n", o.section.c_str());
    if (!d.exists || !section_exists(path, o.section)) {
        std::printf("unreadable      %s\n",
                    d.exists ? "the file has no such section" : "the file cannot be read");
        return kUnreadable;
    }
    std::printf("kind            Type %d, Mode %d: %s\n", d.type, d.mode,
                kind_name(d.type, d.mode));
    std::printf("size            %d x %d pixels, %d channel(s) stored\n", d.width, d.height,
                d.channels);
    std::printf("pages           %d per channel, %d line(s) and %d bytes each\n", d.pageCount,
                d.pageLen, d.pageSize);
    std::printf("cache limit     %d page(s)\n", d.cacheLimit);
    std::printf("brightness      %.2f\ncontrast        %.2f\n", d.brightness * 0.01,
                d.contrast * 0.01);

    bool complete = thaws;
    if (d.palette.value.size() >= 2) {
        const std::string problem = file_problem(d.palette, tarvel::kPaletteBytes);
        std::printf("palette         %s\n",
                    problem.empty() ? (d.palette.name + ", 768 bytes").c_str() : problem.c_str());
        complete = complete && problem.empty();
    } else {
        std::printf("palette         none\n");
        complete = complete && d.type != 2;
    }

    int good = 0;
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < d.pages.size(); ++i) {
        const std::string problem = file_problem(d.pages[i], d.pageSize);
        if (problem.empty()) {
            ++good;
        } else {
            const int channel = static_cast<int>(i / d.pageCount);
            const int page = static_cast<int>(i % d.pageCount);
            problems.push_back(tarvel::PageKey(channel, page) + "  " + problem);
        }
    }
    if (!d.pages.empty()) {
        std::printf("page files      %d of %zu present with %d bytes\n", good, d.pages.size(),
                    d.pageSize);
    }
    for (std::size_t i = 0; i < problems.size() && i < kListedProblems; ++i) {
        std::printf("  %s\n", problems[i].c_str());
    }
    if (problems.size() > static_cast<std::size_t>(kListedProblems)) {
        std::printf("  and %zu more\n", problems.size() - kListedProblems);
    }
    complete = complete && problems.empty();
    std::printf("thaws           %s%s\n", thaws ? "yes" : "no: ", d.problem.c_str());
    std::printf("complete        %s\n", complete ? "yes" : "no");
    return complete ? kComplete : kIncomplete;
}

// The "image" group, shared with any other image subcommand.
CLI::App* image_group(CLI::App& app) {
    try {
        return app.get_subcommand("image");
    } catch (const CLI::OptionNotFound&) {
        CLI::App* group = app.add_subcommand("image", "Inspect paged images kept on disk.");
        group->require_subcommand(1);
        return group;
    }
}

}  // namespace

void add_image_info_command(CLI::App& app) {
    auto options = std::make_shared<info_options>();
    CLI::App* info = image_group(app)->add_subcommand(
        "info",
        "Print what a frozen image's directory section describes (kind, size, pages, cache "
        "limit, brightness, contrast, palette) and whether it is complete: every page file "
        "and the palette file present with the right size. Only reads; nothing is written or "
        "deleted. Exit status: 0 complete, 1 incomplete or not thawable, 2 the file or "
        "section cannot be read.");
    info->add_option("DIR", options->dir, "Directory holding the directory file and page files")
        ->required();
    info->add_option("FILE", options->file, "Name of the directory file inside DIR")->required();
    info->add_option("SECTION", options->section, "Section of the image (default: FILE)");
    on_run(info, [options] { return run_info(*options); });
}

}  // namespace tarvel_cli
