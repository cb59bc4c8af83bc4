// Names inside a pyramid's work directory: its profile file and its sections.
#pragma once

#include <string>

namespace tarvel {

// The profile file of a pyramid, in its work directory.
constexpr const char* kPyramidFile = "pyramid.ini";
// The profile a build writes beside it, renamed over it once complete.
constexpr const char* kPyramidBuildFile = "pyramid.ini.new";
// Its own section and keys.
constexpr const char* kPyramidSection = "PYRAMID";
constexpr const char* kPyramidNameKey = "Name";
constexpr const char* kPyramidLayerCountKey = "LayerCount";
constexpr const char* kPyramidVersionKey = "Version";
// The layer-section layout a build writes: section k holds layer k.
constexpr int kPyramidVersion = 2;

// The name of the section numbered k: "Layer" and k in decimal.
inline std::string LayerSection(int k) {
    return "Layer" + std::to_string(k);
}

}  // namespace tarvel
