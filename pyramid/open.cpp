// Opening a stored pyramid: checking pyramid.ini and thawing every layer
// without reading a page, under the directory's read lock.
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "pyramid/pyramid.h"
#include "pyramid/pyramid_file.h"
#include "pyramid/stored_pyramid.h"

namespace tarvel {

bool pyramid::Create(const char* directory, KORBAS::IProgressWork* progress) {
    m_error.clear();
    if (directory == nullptr || *directory == '\0') return fail("no work directory given");
    SetWorkDirectory(directory);
    if (!workDirectoryUsable(false)) return false;
    // A directory without pyramid.ini gets no lock file either.
    stored_pyramid stored;
    struct stat st {};
    if (stat((m_workDirectory + kPyramidFile).c_str(), &st) != 0) {
        stored.Read(m_workDirectory);
        return fail(m_workDirectory + ": " + stored.problem);
    }
    // Taken before anything is read: a build deletes page files only while
    // no reader holds this lock.
    directory_lock reading;
    if (!reading.Lock(m_workDirectory, directory_lock::kind::read, true))
        return fail(reading.GetError());
    if (!stored.Read(m_workDirectory)) return fail(m_workDirectory + ": " + stored.problem);

    if (progress != nullptr) progress->SetTotal(stored.layerCount - 1);
    // Thawed layers stay persistent: a failed open deletes no file.
    std::vector<std::unique_ptr<image>> made;
    const std::string bare = m_workDirectory.substr(0, m_workDirectory.size() - 1);
    for (int k = 0; k < stored.layerCount; ++k) {
        made.push_back(std::make_unique<image>());
        image& layer = *made.back();
        layer.SetTempPath(bare.c_str());
        if (!layer.Thaw(kPyramidFile, stored.SectionOf(k).c_str(), false))
            return fail(layer.GetError());
    }
    std::vector<image*> layers;
    layers.reserve(made.size());
    for (auto& layer : made) layers.push_back(layer.release());
    replaceLayers(layers, stored.name, reading);
    return true;
}

}  // namespace tarvel
