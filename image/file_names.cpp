// The page-file naming rule and bare names.
#include "image/file_names.h"

#include <cctype>
#include <cstring>

#include "image/image.h"

namespace tarvel {

namespace {

bool same_letters(const std::string& s, std::string::size_type at, const char* lower) {
    for (std::string::size_type i = 0; lower[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[at + i])) != lower[i]) return false;
    }
    return true;
}

}  // namespace

bool IsPageFileName(const std::string& name) {
    const std::string::size_type prefix = std::strlen(kPageFilePrefix);
    constexpr std::string::size_type kSuffix = 4;  // ".tmp"
    if (name.size() < prefix + 1 + kSuffix || name.size() >= static_cast<size_t>(kPageNameChars)) {
        return false;
    }
    if (!same_letters(name, 0, kPageFilePrefix) ||
        !same_letters(name, name.size() - kSuffix, ".tmp")) {
        return false;
    }
    for (std::string::size_type i = prefix; i < name.size() - kSuffix; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

std::string BareFileName(const std::string& path) {
    const std::string::size_type cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace tarvel
