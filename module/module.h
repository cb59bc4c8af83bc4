// The library module: its handle and its string resources, read with
// LoadResourceText by the pyramid build and the BMP reader.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tarvel {

// Ids of the string resources.
constexpr unsigned kLayerBuildingText = 10500;  // printf format: layer made, last layer
constexpr unsigned kBmpRowsText = 10501;        // plain text, before BMP pixel rows
constexpr unsigned kDecodingText = 10502;       // printf format: the number of layers made

// The module handle the string table is registered under.
HINSTANCE ModuleHandle();

// The text of string resource id of this module (at most 1023 characters;
// empty when there is no such string).
std::string LoadResourceText(unsigned int id);

}  // namespace tarvel
