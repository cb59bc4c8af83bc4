// `tarvel info DIR`: describes the pyramid stored in DIR without changing
// anything: its source, layers, files on disk, and whether it would open.
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "image/directory.h"
#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"
#include "tools/commands.h"
#include "tools/pyramid_tools.h"

namespace tarvel_cli {

namespace {

const char* kind(int type) {
    return type == 1 ? "grey" : type == 2 ? "palette" : type == 3 ? "RGB" : "?";
}

// Describes DIR; returns whether a pyramid would open from it.
bool describe(const std::string& given) {
    const std::string dir = given.empty() || given.back() == '/' ? given : given + "/";
    const std::string ini = dir + tarvel::kPyramidFile;
    struct stat st {};
    std::printf("directory %s\n", dir.c_str());
    if (stat(ini.c_str(), &st) != 0) {
        std::printf("state     no %s: no pyramid was built here\n", tarvel::kPyramidFile);
        return false;
    }
    char name[tarvel::kPyramidNameChars];
    GetPrivateProfileStringA(tarvel::kPyramidSection, tarvel::kPyramidNameKey, "", name,
                             sizeof name, ini.c_str());
    const int count = static_cast<int>(GetPrivateProfileIntA(
        tarvel::kPyramidSection, tarvel::kPyramidLayerCountKey, -1, ini.c_str()));
    const int version = static_cast<int>(
        GetPrivateProfileIntA(tarvel::kPyramidSection, tarvel::kPyramidVersionKey, 1, ini.c_str()));
    std::printf("source    %s%s\n", name[0] != '\0' ? name : "(none)",
                name[0] != '\0' && stat(name, &st) != 0 ? " (not found; not needed to open)" : "");
    std::printf("layers    %d, layout version %d%s\n", count, version,
                version == 1 ? " (sections smallest first)" : "");
    std::string problem;
    if (name[0] == '\0') {
        problem = "no \"Name\": a build was interrupted or failed; the next build replaces it";
    } else if (count < 1 || count > tarvel::kPyramidMaxLayers) {
        problem =
            "\"LayerCount\" is not between 1 and " + std::to_string(tarvel::kPyramidMaxLayers);
    }
    long long referenced = 0;
    for (int k = 0; problem.empty() && k < count; ++k) {
        const std::string section = tarvel::LayerSection(k);
        const int layer = version == 1 ? count - 1 - k : k;
        tarvel::image_directory stored;
        if (!stored.Read(dir.c_str(), tarvel::kPyramidFile, section.c_str())) {
            problem =
                "layer " + std::to_string(layer) + " (section " + section + "): " + stored.problem;
            break;
        }
        for (const tarvel::directory_entry& page : stored.pages) {
            if (!tarvel::IsPageFileName(page.name))
                problem = section + " names " + page.value + ", not a page file";
            referenced += page.bytes;
        }
        std::printf(
            "layer %-2d  %6d x %-6d %-7s %4d page(s) x %d channel(s), brightness %.2f, "
            "contrast %.2f\n",
            layer, stored.width, stored.height, kind(stored.type), stored.pageCount,
            stored.channels, stored.brightness / 100.0, stored.contrast / 100.0);
    }
    const auto files = tarvel::ListPageFiles(dir);
    long long total = 0;
    for (const auto& f : files) {
        if (stat((dir + f.name).c_str(), &st) == 0) total += st.st_size;
    }
    std::printf("files     %zu page file(s), %.1f MiB on disk (%.1f MiB named by the layers)\n",
                files.size(), total / 1048576.0, referenced / 1048576.0);
    if (!problem.empty()) {
        std::printf("state     does not open: %s\n", problem.c_str());
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
        "reason).");
    cmd->add_option("DIR", *dir, "Work directory of a pyramid")->required();
    cmd->callback([dir] {
        if (!describe(*dir)) throw CLI::RuntimeError(1);
    });
}

}  // namespace tarvel_cli
