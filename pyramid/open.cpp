// Opening a stored pyramid: reading pyramid.ini and thawing every layer
// without reading a page.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "image/directory.h"
#include "image/file_names.h"
#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"

namespace tarvel {

namespace {

// A layer section is thawed only when every file it names is a page file, so
// that deleting the layers of a failed open can never delete anything else
// that happens to lie in the work directory (the source image, pyramid.ini).
// Only the names are looked at here; Thaw checks the files and the geometry.
// The walk ends at the first page without a name, where Thaw fails anyway.
bool names_only_page_files(const std::string& ini, const std::string& section) {
    const char* s = section.c_str();
    const int channels = static_cast<int>(GetPrivateProfileIntA(s, "Channels", -1, ini.c_str()));
    const int pages = static_cast<int>(GetPrivateProfileIntA(s, "PageCount", -1, ini.c_str()));
    auto names_page_file = [&](const std::string& key, bool& present) {
        char value[kPageValueChars];
        GetPrivateProfileStringA(s, key.c_str(), "", value, sizeof value, ini.c_str());
        present = value[0] != '\0';
        return IsPageFileName(BareFileName(value));
    };
    bool present = true;
    for (int c = 0; c < channels; ++c) {
        for (int p = 0; p < pages; ++p) {
            const bool ok = names_page_file(PageKey(c, p), present);
            if (!present) return true;
            if (!ok) return false;
        }
    }
    return names_page_file("Palette", present) || !present;
}

}  // namespace

bool pyramid::Create(const char* directory, KORBAS::IProgressWork* progress) {
    m_error.clear();
    if (directory == nullptr || *directory == '\0') return fail("no work directory given");
    SetWorkDirectory(directory);
    if (!workDirectoryUsable(false)) return false;
    const std::string ini = m_workDirectory + kPyramidFile;

    char name[kPyramidNameChars];
    GetPrivateProfileStringA(kPyramidSection, kPyramidNameKey, "", name, sizeof name, ini.c_str());
    if (name[0] == '\0') {
        struct stat st {};
        return fail(ini + (stat(ini.c_str(), &st) != 0 ? ": no pyramid here (no such file)"
                                                       : ": holds no pyramid (no \"Name\")"));
    }
    const int count = static_cast<int>(
        GetPrivateProfileIntA(kPyramidSection, kPyramidLayerCountKey, -1, ini.c_str()));
    if (count < 1 || count > kPyramidMaxLayers) {
        return fail(ini + ": \"LayerCount\" is not a number from 1 to " +
                    std::to_string(kPyramidMaxLayers));
    }
    const int version = static_cast<int>(
        GetPrivateProfileIntA(kPyramidSection, kPyramidVersionKey, 1, ini.c_str()));

    std::vector<image*> slots(static_cast<size_t>(count), nullptr);
    std::vector<image*> made;
    if (progress != nullptr) progress->SetTotal(count - 1);
    const std::string bare = m_workDirectory.substr(0, m_workDirectory.size() - 1);
    bool failed = false;
    int k = 0;
    for (; k < count && !failed; ++k) {
        const std::string section = LayerSection(k);
        image* layer = new image;
        made.push_back(layer);
        slots[version == 1 ? count - 1 - k : k] = layer;
        layer->SetTempPath(bare.c_str());
        failed = !names_only_page_files(ini, section) ||
                 !layer->Thaw(kPyramidFile, section.c_str(), false);
    }
    if (failed) {
        // The layers opened so far go with their page files; the failing one is empty.
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            (*it)->SetPersistent(false);
            delete *it;
        }
        return fail(ini + ": layer section \"" + LayerSection(k - 1) +
                    "\" does not describe page files of this directory that can be opened");
    }
    replaceLayers(slots, name);
    return true;
}

}  // namespace tarvel
