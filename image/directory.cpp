// Freeze and Thaw: persisting a paged image as a directory section, its page files and a palette
// file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image/directory.h"
#include "image/file_names.h"
#include "image/image.h"
#include "platform/platform.h"

namespace tarvel {

bool image::Freeze(const char* file, const char* section, bool persistent) {
    if (file == nullptr) return false;
    // Samples that never reached their page files, or were read as zeros,
    // must not be stored as the image.
    if (!Flush() || m_loadFailures != 0) return false;
    m_directoryFile = std::string(m_tempPath) + file;
    m_directorySection = section != nullptr ? section : file;
    m_directoryAttached = true;

    std::vector<std::string> keys;
    std::vector<std::string> values;
    auto add = [&](std::string key, std::string value) {
        keys.push_back(std::move(key));
        values.push_back(std::move(value));
    };
    const std::pair<const char*, int> numbers[] = {{"Type", m_type},
                                                   {"Mode", m_mode},
                                                   {"Width", m_width},
                                                   {"Height", m_height},
                                                   {"Channels", m_channels},
                                                   {"PageCount", m_pageCount},
                                                   {"PageLen", m_pageLen},
                                                   {"PageSize", m_pageSize},
                                                   {"Brightness", ToHundredths(m_brightness)},
                                                   {"Contrast", ToHundredths(m_contrast)},
                                                   {"CacheLimit", m_cacheLimit}};
    for (const auto& n : numbers) add(n.first, std::to_string(n.second));
    if (m_pageTable != nullptr) {
        for (int c = 0; c < m_channels; ++c) {
            for (int p = 0; p < m_pageCount; ++p) add(PageKey(c, p), m_pageTable[c][p].m_name);
        }
    }
    // A new palette file at every freeze; a file left half-written is removed.
    bool paletteWritten = true;
    if (m_palette != nullptr) {
        char path[kPathChars];
        paletteWritten = GetTempFileNameA(m_tempPath, kPageFilePrefix, 0, path) != 0;
        if (paletteWritten && !storePalette(path)) {
            DeleteFileA(path);
            paletteWritten = false;
        }
        if (paletteWritten) add("Palette", getFileName(path));
    }

    // All keys go into the file as one replacement, not one rewrite per key.
    std::vector<LPCSTR> keyPtrs;
    std::vector<LPCSTR> valuePtrs;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        keyPtrs.push_back(keys[i].c_str());
        valuePtrs.push_back(values[i].c_str());
    }
    const bool written =
        WritePrivateProfileKeysA(m_directorySection.c_str(), keyPtrs.data(), valuePtrs.data(),
                                 static_cast<DWORD>(keys.size()), m_directoryFile.c_str()) != 0;
    if (!paletteWritten) m_error = "cannot write a palette file in " + std::string(m_tempPath);
    if (!written) m_error = "cannot write " + m_directoryFile;
    if (!paletteWritten || !written) return false;
    m_persistent = persistent;
    return true;
}

bool image::Thaw(const char* file, const char* section, bool consume) {
    Destroy();
    if (file == nullptr) return false;
    const std::string path = std::string(m_tempPath) + file;
    const std::string sectionName = section != nullptr ? section : file;
    auto attach = [&] {
        m_directoryAttached = true;
        m_directoryFile = path;
        m_directorySection = sectionName;
    };

    image_directory stored;
    if (!stored.Read(m_tempPath, file, sectionName.c_str()) ||
        !Create(stored.type, stored.width, stored.height, stored.mode)) {
        attach();
        m_error = path + " [" + sectionName + "]: " + stored.problem;
        return false;
    }
    for (int c = 0; c < m_channels; ++c) {
        for (int p = 0; p < m_pageCount; ++p) {
            const std::string& name =
                stored.pages[static_cast<std::size_t>(c) * m_pageCount + p].name;
            std::snprintf(m_pageTable[c][p].m_name, kPageNameChars, "%s", name.c_str());
        }
    }
    char palettePath[kPathChars];
    if (stored.palette.present) getFullFileName(palettePath, stored.palette.name.c_str());
    if (m_palette != nullptr) {
        std::memset(m_palette, 0, kPaletteBytes);  // what a directory without palette gives
        if (stored.palette.present) loadPalette(palettePath);
    }
    m_cacheLimit = stored.cacheLimit;
    attach();
    if (consume) {
        m_persistent = false;
        if (stored.palette.present) DeleteFileA(palettePath);
        DeleteFileA(path.c_str());
    } else {
        m_persistent = true;
    }
    if (stored.brightness != 5000 || stored.contrast != 5000) {
        SetBrightnessContrast(stored.brightness * 0.01, stored.contrast * 0.01);
    }
    return true;
}

// Palette files are opened without following a symbolic link or blocking on a
// FIFO, and never created here: GetTempFileNameA made the file, and one that a
// signal's cleanup removed meanwhile must stay removed.
bool image::storePalette(const char* path) {
    if (m_palette == nullptr) return false;
    const int fd = open(path, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool whole = write(fd, m_palette, kPaletteBytes) == kPaletteBytes;
    return close(fd) == 0 && whole;
}

bool image::loadPalette(const char* path) {
    if (m_palette == nullptr) return false;
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool whole = read(fd, m_palette, kPaletteBytes) == kPaletteBytes;
    close(fd);
    return whole;
}

}  // namespace tarvel
