// Building a pyramid from an image file: decode into layer 0, halve layer by
// layer, freeze every layer into pyramid.ini and write "Name" last.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "imagefile/imagefile.h"
#include "module/module.h"
#include "platform/cleanup.h"
#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"
#include "pyramid/resampler.h"

namespace tarvel {

namespace {

// The per-layer progress text is formatted into this many bytes.
constexpr int kLayerTextChars = 256;

// What one build has made, so that a failure, or a signal, can take all of it back.
class build_state {
  public:
    build_state(const std::string& directory, const std::vector<page_file>& earlier)
        : m_directory(directory) {
        std::vector<std::string> names;
        for (const page_file& f : earlier) names.push_back(f.name);
        m_cleanup = AddCleanupNewPageFiles(directory.c_str(), names);
    }
    ~build_state() {
        if (!m_kept) discard();
        RemoveCleanup(m_cleanup);
    }
    build_state(const build_state&) = delete;
    build_state& operator=(const build_state&) = delete;

    std::vector<image*> layers;

    image* add_layer() {
        layers.push_back(new image);
        layers.back()->SetTempPath(m_directory.substr(0, m_directory.size() - 1).c_str());
        return layers.back();
    }
    // The palette file that Freeze wrote for the section, if any.
    void note_palette(const std::string& section) {
        char name[kPathChars];
        GetPrivateProfileStringA(section.c_str(), "Palette", "", name, sizeof name,
                                 (m_directory + kPyramidFile).c_str());
        if (IsPageFileName(name)) m_palettes.push_back(name);
    }
    // From now on a failure also deletes pyramid.ini.
    void wrote_profile() { m_wroteProfile = true; }
    // The files are complete: a signal no longer removes them.
    void complete() {
        RemoveCleanup(m_cleanup);
        m_cleanup = -1;
    }
    // The layers now belong to the pyramid.
    void keep() { m_kept = true; }

  private:
    void discard() {
        for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
            (*it)->SetPersistent(false);
            delete *it;  // removes its page files
        }
        for (const std::string& name : m_palettes) DeleteFileA((m_directory + name).c_str());
        if (m_wroteProfile) {
            DeleteFileA((m_directory + kPyramidFile).c_str());
            // Files of the earlier pyramid that readers held go once they have closed.
            SweepWorkDirectory(m_directory, true);
        }
    }

    std::string m_directory;
    std::vector<std::string> m_palettes;
    cleanup_id m_cleanup = -1;
    bool m_wroteProfile = false;
    bool m_kept = false;
};

void report_layer(KORBAS::IProgressWork* progress, int layer, int last) {
    if (progress == nullptr) return;
    char text[kLayerTextChars];
    const std::string format = LoadResourceText(kLayerBuildingText);
    std::snprintf(text, sizeof text, format.c_str(), layer, last);
    progress->SetText(text);
}

// Why a layer's samples cannot be trusted, or empty.
std::string page_trouble(const image& layer) {
    return layer.GetPageSaveFailures() != 0 || layer.GetPageLoadFailures() != 0 ? layer.GetError()
                                                                                : std::string();
}

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
    const std::string dir = m_workDirectory;
    if (!workDirectoryUsable(true)) return false;
    directory_lock building;
    if (!building.Lock(dir, directory_lock::kind::build, m_buildWait))
        return fail(building.GetError());
    const std::string ini = dir + kPyramidFile;
    // What killed or failed runs left goes first. Page files still here then
    // belong to the earlier pyramid; they go once the source is decoded.
    // Files made from now on cannot be among them (page files are created
    // exclusively, and a file is deleted only while it is still the very file
    // listed).
    SweepWorkDirectory(dir, true);
    const std::vector<page_file> earlier =
        IsSystemTemporaryDirectory(dir) ? std::vector<page_file>() : ListPageFiles(dir);

    build_state state(dir, earlier);
    {
        image* first = state.add_layer();
        // Nothing on disk changes when the source cannot be decoded.
        auto format = std::make_unique<CImageFileFormat_dib>();
        if (!format->Load(*first, source, nullptr, progress)) {
            // A page that could not be written is the reason, not the source.
            const std::string trouble = page_trouble(*first);
            return fail(trouble.empty() ? format->GetError() : trouble);
        }
        if (first->GetWidth() < 1 || first->GetHeight() < 1)
            return fail(std::string(source) + ": decodes to a picture without pixels");
        if (!page_trouble(*first).empty()) return fail(page_trouble(*first));
    }
    int width = state.layers[0]->GetWidth();
    int height = state.layers[0]->GetHeight();
    const int count = CountLayers(width, height);

    // Replace the directory's pyramid. Removing pyramid.ini makes the old
    // pyramid unopenable at once; its page files go unless a reader holds them.
    state.wrote_profile();
    DeleteFileA(ini.c_str());
    {
        directory_lock noReaders;
        if (noReaders.Lock(dir, directory_lock::kind::readers_out, false))
            RemovePageFiles(dir, earlier);
    }
    const std::string countText = std::to_string(count);
    const std::string versionText = std::to_string(kPyramidVersion);
    if (!WritePrivateProfileStringA(kPyramidSection, kPyramidLayerCountKey, countText.c_str(),
                                    ini.c_str()) ||
        !WritePrivateProfileStringA(kPyramidSection, kPyramidVersionKey, versionText.c_str(),
                                    ini.c_str())) {
        return fail(ini + ": cannot be written");
    }

    CImageResampler_bilinear resampler;
    for (int i = 1; i < count; ++i) {
        report_layer(progress, i, count - 1);
        image* next = state.add_layer();
        resampler.SetSource(state.layers[i - 1], 0, 0, width, height);
        resampler.SetDestination(next, 0, 0, width >> 1, height >> 1);
        if (!resampler.Execute(progress)) {
            return fail(m_workDirectory + ": layer " + std::to_string(i) + " (" +
                        std::to_string(width >> 1) + " x " + std::to_string(height >> 1) +
                        ") cannot be made");
        }
        state.layers[i - 1]->Flush();
        for (image* layer : {state.layers[i - 1], next}) {
            const std::string trouble = page_trouble(*layer);
            if (!trouble.empty()) return fail(trouble);
        }
        width >>= 1;
        height >>= 1;
    }
    for (int k = 0; k < count; ++k) {
        const std::string section = LayerSection(k);
        image& layer = *state.layers[k];
        if (!layer.Freeze(kPyramidFile, section.c_str(), true)) {
            const std::string trouble = layer.GetError();
            return fail(trouble.empty() ? ini + ": layer " + std::to_string(k) +
                                              " cannot be stored (its palette file or section)"
                                        : trouble);
        }
        if (layer.GetPalette() != nullptr) state.note_palette(section);
    }
    for (image* layer : state.layers) {
        const std::string trouble = page_trouble(*layer);
        if (!trouble.empty()) return fail(trouble);
    }
    // Every page and palette file is complete: "Name" makes the pyramid openable.
    state.complete();
    if (!WritePrivateProfileStringA(kPyramidSection, kPyramidNameKey, source, ini.c_str()))
        return fail(ini + ": cannot be written");
    state.keep();
    // Still under the build lock: the layers this object held go, the files
    // of the replaced pyramid with them unless another reader holds them, and
    // the new layers' read lock is taken before another build may start.
    dropLayers();
    SweepWorkDirectory(dir, true);
    directory_lock reading;
    reading.Lock(dir, directory_lock::kind::read, true);
    replaceLayers(state.layers, source, reading);
    return true;
}

}  // namespace tarvel
