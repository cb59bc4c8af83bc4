// Names of the files a paged image keeps in its temporary directory: page and
// palette files "~gm<hex>.tmp", and the bare names a directory stores for them.
#pragma once

#include <string>

namespace tarvel {

// The prefix GetTempFileNameA gives every page and palette file.
constexpr const char* kPageFilePrefix = "~gm";

// Whether a bare file name is one the page store gives its page and palette
// files: "~gm", one or more hexadecimal digits, ".tmp" (letters in either
// case, as Windows names them too), shorter than kPageNameChars.
bool IsPageFileName(const std::string& name);

// The part of a stored path after its last '/', '\' or ':' (a Windows drive
// or directory separator): the name of a file inside the directory.
std::string BareFileName(const std::string& path);

}  // namespace tarvel
