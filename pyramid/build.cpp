// Building a pyramid from an image file: the decoded rows stream into every
// layer at once, beside the pyramid being replaced; the layers are frozen
// into a new profile with "Name" last, and that profile replaces pyramid.ini
// in one step.
#include <cstring>
#include <string>
#include <vector>

#include "host/decode/row_sink.h"
#include "host/host.h"
#include "platform/cleanup.h"
#include "platform/platform.h"
#include "pyramid/page_files.h"
#include "pyramid/palette_expander.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"
#include "pyramid/source_sink.h"

namespace tarvel {

namespace {

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
                                 (m_directory + kPyramidBuildFile).c_str());
        if (IsPageFileName(name)) m_palettes.push_back(name);
    }
    // The files are complete: a signal no longer removes them.
    void complete() {
        RemoveCleanup(m_cleanup);
        m_cleanup = -1;
    }
    // The layers now belong to the pyramid.
    void keep() { m_kept = true; }

  private:
    // The earlier pyramid was never touched: only what this build made goes.
    void discard() {
        for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
            (*it)->SetPersistent(false);
            delete *it;  // removes its page files
        }
        for (const std::string& name : m_palettes) DeleteFileA((m_directory + name).c_str());
        DeleteFileA((m_directory + kPyramidBuildFile).c_str());
    }

    std::string m_directory;
    std::vector<std::string> m_palettes;
    cleanup_id m_cleanup = -1;
    bool m_kept = false;
};

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
    const std::string fresh = dir + kPyramidBuildFile;
    // What killed or failed runs left goes first. Page files still here then
    // belong to the earlier pyramid; they go once the new one has replaced
    // it. Files made from now on cannot be among them (page files are created
    // exclusively, and a file is deleted only while it is still the very file
    // listed).
    SweepWorkDirectory(dir, true);
    DeleteFileA(fresh.c_str());
    const std::vector<page_file> earlier =
        IsSystemTemporaryDirectory(dir) ? std::vector<page_file>() : ListPageFiles(dir);

    // The new layers are written beside the earlier pyramid, which stays
    // whole and openable until the new profile replaces pyramid.ini.
    build_state state(dir, earlier);
    source_sink sink([&state] { return state.add_layer(); }, progress, m_buildThreads);
    // A page that could not be written is the reason, not the source.
    const auto pages_or = [&state](const std::string& otherwise) {
        for (image* layer : state.layers) {
            const std::string trouble = page_trouble(*layer);
            if (!trouble.empty()) return trouble;
        }
        return otherwise;
    };
    // Palette pictures go through the expander, unless their indices are wanted.
    palette_expander expander(sink);
    KORBAS::decode::RowSink& rows =
        m_expandPalette ? static_cast<KORBAS::decode::RowSink&>(expander) : sink;
    try {
        KORBAS::decode::DecodeRows(source, rows);
    } catch (const KORBAS::CImageDecodeException& e) {
        sink.abandon();
        return fail(pages_or(e.what()));  // the decoder's names the file and the reason
    }
    if (expander.failed()) return fail(pages_or(std::string(source) + ": " + expander.reason()));
    if (!sink.finish()) return fail(pages_or(std::string(source) + ": " + sink.reason()));

    const int count = static_cast<int>(state.layers.size());
    for (int k = 0; k < count; ++k) {
        const std::string section = LayerSection(k);
        image& layer = *state.layers[k];
        if (!layer.Freeze(kPyramidBuildFile, section.c_str(), true)) {
            const std::string trouble = layer.GetError();
            return fail(trouble.empty() ? fresh + ": layer " + std::to_string(k) +
                                              " cannot be stored (its palette file or section)"
                                        : trouble);
        }
        if (layer.GetPalette() != nullptr) state.note_palette(section);
    }
    const std::string trouble = pages_or(std::string());
    if (!trouble.empty()) return fail(trouble);
    // Every page and palette file is complete: "Name" makes the profile a
    // pyramid's, and the rename makes it the directory's.
    state.complete();
    const std::string countText = std::to_string(count);
    const std::string versionText = std::to_string(kPyramidVersion);
    const LPCSTR keys[] = {kPyramidLayerCountKey, kPyramidVersionKey, kPyramidNameKey};
    const LPCSTR values[] = {countText.c_str(), versionText.c_str(), source};
    if (!WritePrivateProfileKeysA(kPyramidSection, keys, values, 3, fresh.c_str()))
        return fail(fresh + ": cannot be written");
    if (!MoveFileExA(fresh.c_str(), ini.c_str(), kMoveFileReplaceExisting))
        return fail(ini + ": cannot be replaced by " + fresh);
    state.keep();

    // Still under the build lock: the layers now describe pyramid.ini; the
    // layers this object held go, the files of the replaced pyramid with them
    // unless a reader holds them, and the new layers' read lock is taken
    // before another build may start.
    bool reopened = true;
    for (int k = 0; k < count; ++k)
        reopened = reopened && state.layers[k]->Thaw(kPyramidFile, LayerSection(k).c_str(), false);
    dropLayers();
    SweepWorkDirectory(dir, true);
    directory_lock reading;
    reading.Lock(dir, directory_lock::kind::read, true);
    replaceLayers(state.layers, source, reading);
    if (reopened) return true;
    dropLayers();
    return fail(ini + ": the new pyramid was stored but cannot be opened again");
}

}  // namespace tarvel
