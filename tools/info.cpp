// `tarvel info DIR`: describes the pyramid stored in DIR without changing
// anything: its source, layers, files on disk, and whether it would open.
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "image/directory.h"
#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid_file.h"
#include "pyramid/stored_pyramid.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

const char* kind(int type) {
    return type == 1 ? "grey" : type == 2 ? "palette" : type == 3 ? "RGB" : "?";
}

// Describes DIR; returns whether a pyramid would open from it. The verdict is
// the open's own (stored_pyramid).
bool describe(const std::string& given) {
    const std::string dir = given.empty() || given.back() == '/' ? given : given + "/";
    std::printf("directory %s\n", dir.c_str());
    struct stat st {};
    tarvel::stored_pyramid stored;
    const bool opens = stored.Read(dir);
    if (stat((dir + tarvel::kPyramidFile).c_str(), &st) != 0) {
        std::printf("state     %s\n", stored.problem.c_str());
        return false;
    }
    const char* name = stored.name.c_str();
    std::printf("source    %s%s\n", *name != '\0' ? name : "(none)",
                *name != '\0' && stat(name, &st) != 0 ? " (not found; not needed to open)" : "");
    std::printf("layers    %d, layout version %d%s\n", stored.layerCount, stored.version,
                stored.version == 1 ? " (sections smallest first)" : "");
    long long referenced = 0;
    for (std::size_t k = 0; k < stored.layers.size(); ++k) {
        const tarvel::image_directory& layer = stored.layers[k];
        if (!layer.problem.empty()) break;
        for (const tarvel::directory_entry& page : layer.pages) referenced += page.bytes;
        std::printf(
            "layer %-2zu  %6d x %-6d %-7s %4d page(s) x %d channel(s), brightness %.2f, "
            "contrast %.2f\n",
            k, layer.width, layer.height, kind(layer.type), layer.pageCount, layer.channels,
            layer.brightness / 100.0, layer.contrast / 100.0);
    }
    const auto files = tarvel::ListPageFiles(dir);
    long long total = 0;
    for (const auto& f : files) {
        if (stat((dir + f.name).c_str(), &st) == 0) total += st.st_size;
    }
    std::printf("files     %zu page file(s), %.1f MiB on disk (%.1f MiB named by the layers)\n",
                files.size(), total / 1048576.0, referenced / 1048576.0);
    if (!opens) {
        std::printf("state     does not open: %s\n", stored.problem.c_str());
        return false;
    }
    std::printf("state     complete: opens without decoding its source\n");
    return true;
}

}  // namespace

void add_info_command(CLI::App& app) {
    auto dir = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand(
        "info",
        "Describe the pyramid stored in DIR without changing anything: its source, layout, "
        "layers, page files on disk, and whether it opens (exit status 0) or not (1, with the "
        "reason). It opens exactly when tarvel pyramid, view and capture would open it: a "
        "pyramid.ini of at most " +
            std::to_string(kMaxProfileFileBytes >> 20) +
            " MiB, integer keys within the int range, every page file present and as long as its "
            "page.");
    cmd->add_option("DIR", *dir, "Work directory of a pyramid")->required();
    cmd->callback([dir] {
        if (!describe(*dir)) throw CLI::RuntimeError(1);
    });
}

}  // namespace tarvel_cli
