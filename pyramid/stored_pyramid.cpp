// Reading a stored pyramid's pyramid.ini with every check an open makes.
#include "pyramid/stored_pyramid.h"

#include <sys/stat.h>

#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"

namespace tarvel {

std::string stored_pyramid::SectionOf(int layer) const {
    return LayerSection(version == 1 ? layerCount - 1 - layer : layer);
}

bool stored_pyramid::Read(const std::string& dir) {
    *this = stored_pyramid();
    auto fail = [this](const std::string& why) {
        problem = why;
        return false;
    };
    const std::string ini = dir + kPyramidFile;
    struct stat st {};
    if (stat(ini.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(std::string("no pyramid here (no ") + kPyramidFile + ")");
    if (st.st_size > static_cast<off_t>(kMaxProfileFileBytes)) {
        return fail(std::string(kPyramidFile) + " is larger than " +
                    std::to_string(kMaxProfileFileBytes) + " bytes");
    }
    char text[kPyramidNameChars];
    GetPrivateProfileStringA(kPyramidSection, kPyramidNameKey, "", text, sizeof text, ini.c_str());
    name = text;
    if (!ReadProfileInt(kPyramidSection, kPyramidLayerCountKey, -1, ini.c_str(), layerCount) ||
        !ReadProfileInt(kPyramidSection, kPyramidVersionKey, 1, ini.c_str(), version)) {
        return fail("\"LayerCount\" or \"Version\" is outside the int range");
    }
    if (name.empty()) {
        return fail("no \"Name\": a build was interrupted or failed; the next build replaces it");
    }
    if (layerCount < 1 || layerCount > kPyramidMaxLayers)
        return fail("\"LayerCount\" is not between 1 and " + std::to_string(kPyramidMaxLayers));

    for (int k = 0; k < layerCount; ++k) {
        const std::string section = SectionOf(k);
        layers.emplace_back();
        image_directory& layer = layers.back();
        const std::string where = "layer " + std::to_string(k) + " (section " + section + "): ";
        if (!layer.Read(dir.c_str(), kPyramidFile, section.c_str()))
            return fail(where + layer.problem);
        for (const directory_entry& page : layer.pages) {
            if (!IsPageFileName(page.name))
                return fail(where + "names " + page.value + ", not a page file");
        }
        if (!layer.palette.value.empty() && layer.palette.value.size() >= 2 &&
            !IsPageFileName(layer.palette.name)) {
            return fail(where + "names " + layer.palette.value + ", not a palette file");
        }
    }
    return true;
}

}  // namespace tarvel
