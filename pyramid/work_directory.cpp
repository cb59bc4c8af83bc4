// The pyramid's work directory: its spelling, creation and whether files can be made in it.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "pyramid/pyramid.h"

namespace tarvel {

void pyramid::SetWorkDirectory(const char* path) {
    m_workDirectory = path != nullptr && *path != '\0' ? path : ".";
    for (char& c : m_workDirectory) {
        if (c == '\\') c = '/';
    }
    if (m_workDirectory.back() != '/') m_workDirectory += '/';
    // Every prefix that ends before a separator, shortest first; existing
    // directories and failures are passed over.
    for (std::string::size_type at = m_workDirectory.find('/', 1); at != std::string::npos;
         at = m_workDirectory.find('/', at + 1)) {
        _mkdir(m_workDirectory.substr(0, at).c_str());
    }
}

bool pyramid::workDirectoryUsable(bool writing) const {
    if (m_workDirectory.size() > static_cast<std::string::size_type>(kPyramidMaxDirectoryChars)) {
        return false;
    }
    struct stat st {};
    if (stat(m_workDirectory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return !writing || access(m_workDirectory.c_str(), W_OK | X_OK) == 0;
}

}  // namespace tarvel
