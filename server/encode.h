// Encoding rendered pictures as JPEG (libjpeg-turbo) and PNG (libpng) in memory.
#pragma once

#include <string>

#include "server/raster.h"

namespace tarvel {
namespace server {

// The JPEG quality tiles are encoded with unless told otherwise: the quality
// other tile servers use by default, so that sizes and speeds compare.
constexpr int kDefaultJpegQuality = 90;

// Appends the encoded picture to out. False with the encoder's message in
// error (out then holds nothing useful).
bool EncodeJpeg(const raster& r, int quality, std::string& out, std::string& error);
bool EncodePng(const raster& r, std::string& out, std::string& error);

}  // namespace server
}  // namespace tarvel
