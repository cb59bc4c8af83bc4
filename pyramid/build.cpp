// Building a pyramid from an image file: the decoded rows stream into every
// layer at once, the layers are frozen into a new profile with "Name" last,
// and that profile replaces pyramid.ini in one step.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/decode/row_sink.h"
#include "host/host.h"
#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"
#include "pyramid/source_sink.h"

namespace tarvel {

namespace {

// What one build has made, so that a failure can take all of it back.
class build_state {
  public:
    build_state(const std::string& directory) : m_directory(directory) {}
    ~build_state() {
        if (!m_kept) discard();
    }

    std::vector<image*> layers;

    image* add_layer() {
        image* layer = new image;
        layers.push_back(layer);
        layer->SetTempPath(m_directory.substr(0, m_directory.size() - 1).c_str());
        return layer;
    }
    // The palette file that Freeze wrote for the section, if any.
    void note_palette(const std::string& section) {
        char name[kPathChars];
        GetPrivateProfileStringA(section.c_str(), "Palette", "", name, sizeof name,
                                 (m_directory + kPyramidBuildFile).c_str());
        if (IsPageFileName(name)) m_palettes.push_back(name);
    }
    // From now on a failure also deletes the new profile.
    void wrote_profile() { m_wroteProfile = true; }
    // The layers now belong to the pyramid.
    void keep() { m_kept = true; }

  private:
    void discard() {
        for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
            (*it)->SetPersistent(false);
            delete *it;  // removes its page files
        }
        for (const std::string& name : m_palettes) DeleteFileA((m_directory + name).c_str());
        if (m_wroteProfile) DeleteFileA((m_directory + kPyramidBuildFile).c_str());
    }

    std::string m_directory;
    std::vector<std::string> m_palettes;
    bool m_wroteProfile = false;
    bool m_kept = false;
};

}  // namespace

bool pyramid::Create(const char* directory, const char* source, int,
                     KORBAS::IProgressWork* progress) {
    m_error.clear();
    if (directory == nullptr || *directory == '\0') return fail("no work directory given");
    if (source == nullptr || *source == '\0') return fail("no source file given");
    if (std::strlen(source) >= static_cast<size_t>(kPyramidNameChars)) {
        return fail(std::string(source) + ": a source path of " +
                    std::to_string(kPyramidNameChars) +
                    " characters or more cannot be recorded in pyramid.ini");
    }
    SetWorkDirectory(directory);
    if (!workDirectoryUsable(true)) return false;
    const std::string ini = m_workDirectory + kPyramidFile;
    const std::string fresh = m_workDirectory + kPyramidBuildFile;
    // Page files already here belong to the pyramid being replaced or to a
    // build that was interrupted; they go once the new pyramid has replaced
    // the old. Files made from now on cannot be among them (page files are
    // created exclusively, and a file is deleted only while it is still the
    // very file listed).
    const std::vector<page_file> earlier = IsSystemTemporaryDirectory(m_workDirectory)
                                               ? std::vector<page_file>()
                                               : ListPageFiles(m_workDirectory);
    DeleteFileA(fresh.c_str());  // the profile of an interrupted build

    // The new layers are written beside the old pyramid, which stays whole
    // and openable until the new pyramid.ini replaces the old in one step.
    build_state state(m_workDirectory);
    source_sink sink([&state] { return state.add_layer(); }, progress, m_buildThreads);
    try {
        KORBAS::decode::DecodeRows(source, sink);
    } catch (const KORBAS::CImageDecodeException& e) {
        return fail(e.what());  // names the file and the reason
    }
    if (!sink.finish()) return fail(std::string(source) + ": " + sink.reason());

    state.wrote_profile();
    const int count = static_cast<int>(state.layers.size());
    for (int k = 0; k < count; ++k) {
        const std::string section = LayerSection(k);
        if (!state.layers[k]->Freeze(kPyramidBuildFile, section.c_str(), true)) {
            return fail(fresh + ": layer " + std::to_string(k) +
                        " cannot be stored (its page files, palette file or section)");
        }
        if (state.layers[k]->GetPalette() != nullptr) state.note_palette(section);
    }
    // Every page and palette file is complete: "Name" makes the profile a pyramid's.
    const std::string countText = std::to_string(count);
    const std::string versionText = std::to_string(kPyramidVersion);
    const LPCSTR keys[] = {kPyramidLayerCountKey, kPyramidVersionKey, kPyramidNameKey};
    const LPCSTR values[] = {countText.c_str(), versionText.c_str(), source};
    if (!WritePrivateProfileKeysA(kPyramidSection, keys, values, 3, fresh.c_str()))
        return fail(fresh + ": cannot be written");
    if (!MoveFileExA(fresh.c_str(), ini.c_str(), kMoveFileReplaceExisting))
        return fail(ini + ": cannot be replaced by " + fresh);
    state.keep();

    // The switch is made: the layers now describe pyramid.ini, and the old
    // pyramid's files go (with this object's layers, when they were its).
    bool reopened = true;
    for (int k = 0; k < count; ++k)
        reopened = reopened && state.layers[k]->Thaw(kPyramidFile, LayerSection(k).c_str(), false);
    replaceLayers(state.layers, source);
    RemovePageFiles(m_workDirectory, earlier);
    if (reopened) return true;
    Destroy();
    return fail(ini + ": the new pyramid was stored but cannot be opened again");
}

}  // namespace tarvel
