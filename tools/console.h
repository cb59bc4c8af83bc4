// Small helpers the commands share: process measurements and temporary directories.
#pragma once

#include <string>

namespace tarvel_cli {

// Peak resident memory of this process so far, in bytes.
long long peak_resident_bytes();

// Makes a new empty directory under the system temporary directory; empty on failure.
std::string make_temp_directory(const char* stem);

// Removes a directory and the files directly inside it.
void remove_directory(const std::string& dir);

}  // namespace tarvel_cli
