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
#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"
#include "pyramid/resampler.h"

namespace tarvel {

namespace {

// The per-layer progress text is formatted into this many bytes.
constexpr int kLayerTextChars = 256;

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
                                 (m_directory + kPyramidFile).c_str());
        if (IsPageFileName(name)) m_palettes.push_back(name);
    }
    // From now on a failure also deletes pyramid.ini.
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
        if (m_wroteProfile) DeleteFileA((m_directory + kPyramidFile).c_str());
    }

    std::string m_directory;
    std::vector<std::string> m_palettes;
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
    // Page files already here belong to an earlier pyramid or to a build that
    // was interrupted; they go once the source is decoded. Files made from now
    // on cannot be among them (page files are created exclusively, and a file
    // is deleted only while it is still the very file listed).
    const std::vector<page_file> earlier = IsSystemTemporaryDirectory(m_workDirectory)
                                               ? std::vector<page_file>()
                                               : ListPageFiles(m_workDirectory);

    build_state state(m_workDirectory);
    {
        image* first = state.add_layer();
        // Nothing on disk changes when the source cannot be decoded.
        auto format = std::make_unique<CImageFileFormat_dib>();
        if (!format->Load(*first, source, nullptr, progress)) return fail(format->GetError());
        if (first->GetWidth() < 1 || first->GetHeight() < 1)
            return fail(std::string(source) + ": decodes to a picture without pixels");
    }
    int width = state.layers[0]->GetWidth();
    int height = state.layers[0]->GetHeight();
    const int count = CountLayers(width, height);

    // Replace the directory's pyramid. Removing pyramid.ini makes the old
    // pyramid unopenable at once; layers of this object stored here go too.
    for (image* held : m_layers) {
        if (m_workDirectory == held->GetTempPath()) {
            Destroy();
            break;
        }
    }
    state.wrote_profile();
    DeleteFileA(ini.c_str());
    RemovePageFiles(m_workDirectory, earlier);
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
        width >>= 1;
        height >>= 1;
    }
    for (int k = 0; k < count; ++k) {
        const std::string section = LayerSection(k);
        if (!state.layers[k]->Freeze(kPyramidFile, section.c_str(), true)) {
            return fail(ini + ": layer " + std::to_string(k) +
                        " cannot be stored (its page files, palette file or section)");
        }
        if (state.layers[k]->GetPalette() != nullptr) state.note_palette(section);
    }
    // Every page and palette file is complete: "Name" makes the pyramid openable.
    if (!WritePrivateProfileStringA(kPyramidSection, kPyramidNameKey, source, ini.c_str())) {
        return fail(ini + ": cannot be written");
    }
    state.keep();
    replaceLayers(state.layers, source);
    return true;
}

}  // namespace tarvel
