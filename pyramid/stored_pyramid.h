// What a work directory's pyramid.ini describes, read with every check an
// open makes, so that the open and `tarvel info` give one verdict.
#pragma once

#include <string>
#include <vector>

#include "image/directory.h"

namespace tarvel {

// A stored pyramid as its work directory holds it, read without reading a page.
//
// Read accepts the directory exactly when pyramid::Create(directory, ...)
// would open it: pyramid.ini readable and within the profile size limit, a
// non-empty "Name", a "LayerCount" from 1 to kPyramidMaxLayers, integer keys
// within the int range, and every layer section one that image::Thaw accepts
// (image_directory: page files present with at least PageSize bytes, the
// palette file with 768) whose page and palette files all have page-file
// names, so that nothing else in the directory is ever taken for a layer's file.
//
// Owns: its strings and layer descriptions. Failure: `problem` says why the
// directory does not open; the fields read so far stay. Nothing is written or
// deleted. Threads: any.
struct stored_pyramid {
    std::string name;                     // "Name"
    int layerCount = -1;                  // "LayerCount"
    int version = 1;                      // "Version"; 1 puts the smallest layer first
    std::vector<image_directory> layers;  // in layer order, as far as they were read
    std::string problem;                  // empty when the directory opens

    // The section holding layer k under this version's order.
    std::string SectionOf(int layer) const;

    // Reads `dir` (ending with '/'). Returns whether the pyramid opens.
    bool Read(const std::string& dir);
};

}  // namespace tarvel
