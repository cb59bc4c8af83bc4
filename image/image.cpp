// Construction, destruction, page geometry and file naming of the paged image.
#include "image/image.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/file_names.h"
#include "platform/platform.h"

namespace tarvel {

image::image() : m_pageTable(nullptr), m_intensityTable(nullptr) {
    m_tempPath[0] = '\0';
    m_palette = nullptr;
    init();
}

image::image(int type, int width, int height, int mode) : image() {
    Create(type, width, height, mode);
}

image::image(const image& src, int width, int height) : image() {
    Create(src, width, height);
}

image::~image() {
    Destroy();
}

void image::init() {
    m_type = m_mode = m_width = m_height = m_channels = 0;
    m_lineCount = m_lineLength = m_pageCount = m_pageLen = m_pageSize = 0;
    m_cacheLimit = m_budgetPages = m_inMemory = m_mappedCount = 0;
    m_palette = nullptr;
    m_pageTable = nullptr;
    m_newest = m_oldest = nullptr;
    m_saveFailures = m_loadFailures = 0;
    m_error.clear();
    if (m_tempPath[0] == '\0') {
        // A system temporary directory too long for page-file paths is not
        // taken: pages then fail to save, and say why.
        char system[kPathChars];
        const DWORD n = GetTempPathA(kPathChars, system);
        if (n > 0 && n + kPageNameChars <= static_cast<DWORD>(kPathChars))
            std::memcpy(m_tempPath, system, n + 1);
    }
    m_brightness = m_contrast = 50.0;
    m_lowIn = 0;
    m_highIn = 255;
    m_lowOut = 0;
    m_highOut = 255;
    m_persistent = m_directoryAttached = m_mappingActive = false;
    m_intensityTable = nullptr;
    m_directoryFile.clear();
    m_directorySection.clear();
}

bool image::Create(int type, int width, int height, int mode) {
    Destroy();
    if (type < 1 || type > 3) return false;
    // Planes are addressed with signed 32-bit offsets.
    if (width < 1 || height < 1 || static_cast<std::int64_t>(width) * height > INT32_MAX) {
        return false;
    }
    m_type = type;
    switch (type) {
        case 1:
            m_mode = 0;
            m_channels = 1;
            break;
        case 2:
            m_mode = 1;
            m_channels = 1;
            break;
        default:
            m_mode = mode == 3 ? 3 : 2;
            m_channels = mode == 3 ? 4 : 3;
            break;
    }
    if (type == 2) m_palette = new unsigned char[kPaletteBytes];
    m_width = m_lineLength = width;
    m_height = m_lineCount = height;
    computeGeometry();
    buildPageTable();
    return true;
}

bool image::Create(const image& src, int width, int height) {
    if (!Create(src.m_type, width > 0 ? width : src.m_width, height > 0 ? height : src.m_height,
                src.m_mode)) {
        return false;
    }
    if (m_palette != nullptr && src.m_palette != nullptr) {
        std::memcpy(m_palette, src.m_palette, kPaletteBytes);
    }
    return true;
}

void image::computeGeometry() {
    if (m_width > kWideLine) {
        m_pageLen = 1;
        m_pageSize = m_width;
    } else {
        m_pageLen = kPageBytes / m_width;
        if (m_pageLen > m_height) m_pageLen = m_height;
        m_pageSize = m_pageLen * m_width;
    }
    const int plane = m_width * m_height;
    if (m_pageSize > plane) {
        m_pageSize = plane;
        m_pageCount = 1;
        m_cacheLimit = m_channels;
    } else {
        m_pageCount = plane / m_pageSize + (plane % m_pageSize != 0 ? 1 : 0);
        m_cacheLimit = ((kCacheBytes / m_pageSize) / m_channels) * m_channels;
        if (m_cacheLimit < m_channels) m_cacheLimit = m_channels;
    }
    m_inMemory = m_mappedCount = 0;
}

void image::buildPageTable() {
    m_pageTable = new scan_page*[m_channels];
    for (int c = 0; c < m_channels; ++c) {
        m_pageTable[c] = new scan_page[m_pageCount];
        for (int k = 0; k < m_pageCount; ++k) {
            m_pageTable[c][k] = scan_page(this, c, k, k * m_pageLen);
        }
    }
}

bool image::Destroy() {
    if (m_pageTable != nullptr) {
        // The page records free their buffers and, unless the image is
        // persistent, delete their files; delete[] runs them last to first.
        for (int c = m_channels - 1; c >= 0; --c) delete[] m_pageTable[c];
        delete[] m_pageTable;
    }
    delete[] m_palette;
    delete[] m_intensityTable;
    init();
    return true;
}

bool image::SetTempPath(const char* dir) {
    const std::size_t n = dir != nullptr ? std::strlen(dir) : 0;
    // The directory, its '/', a page-file name and the NUL must fit.
    if (n + 1 + kPageNameChars > static_cast<std::size_t>(kPathChars)) {
        m_error = std::string(dir) + ": too long for page-file paths (at most " +
                  std::to_string(kPathChars - 1 - kPageNameChars) + " characters)";
        return false;
    }
    if (n > 0) std::memcpy(m_tempPath, dir, n);
    m_tempPath[n] = '/';
    m_tempPath[n + 1] = '\0';
    return true;
}

void image::notePageError(bool saving, const char* path, const std::string& reason) {
    ++(saving ? m_saveFailures : m_loadFailures);
    // The first failure is kept: later ones (a page read back after its save
    // failed) follow from it.
    if (m_saveFailures + m_loadFailures > 1) return;
    const std::string where = path[0] != '\0' ? path : m_tempPath;
    m_error = std::string(saving ? "cannot write page file" : "cannot read page file") +
              (where.empty() ? "" : " " + where) + ": " + reason;
}

char* image::getTempFileName(char* out) const {
    GetTempFileNameA(m_tempPath, kPageFilePrefix, 0, out);
    return out;
}

char* image::getFullFileName(char* out, const char* name) const {
    std::snprintf(out, kPathChars, "%s%s", m_tempPath, name);
    return out;
}

const char* image::getFileName(const char* path) const {
    // Both separators count: a name read from a file must never lead out of
    // the temporary directory.
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    const char* last = slash > backslash ? slash : backslash;
    if (last != nullptr) return last + 1;
    const char* colon = std::strrchr(path, ':');
    return colon != nullptr ? colon + 1 : path;
}

unsigned char* image::GetData(const scan_page* page) {
    return page->m_data;
}
int image::GetFirstLine(const scan_page* page) {
    return page->m_firstLine;
}
int image::GetChannel(const scan_page* page) {
    return page->m_channel;
}

}  // namespace tarvel
