// The pyramid's work directory: its spelling, creation and whether files can be made in it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

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

bool pyramid::workDirectoryUsable(bool writing) {
    if (m_workDirectory.size() > static_cast<std::string::size_type>(kPyramidMaxDirectoryChars)) {
        return fail(m_workDirectory + ": the work directory's path is longer than " +
                    std::to_string(kPyramidMaxDirectoryChars) +
                    " characters, too long for page-file paths");
    }
    struct stat st {};
    if (stat(m_workDirectory.c_str(), &st) != 0)
        return fail(m_workDirectory + ": cannot use the work directory: " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return fail(m_workDirectory + ": not a directory");
    if (writing && access(m_workDirectory.c_str(), W_OK | X_OK) != 0)
        return fail(m_workDirectory +
                    ": cannot write in the work directory: " + std::strerror(errno));
    return true;
}

bool pyramid::fail(const std::string& reason) const {
    m_error = reason;
    return false;
}

}  // namespace tarvel
