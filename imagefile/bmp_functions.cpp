// The exported BMP import and export functions.
#include "imagefile/imagefile.h"

namespace tarvel {

int loadWindowsBMP(image& img, const char* path, const char* options) {
    CImageFileFormat_bmp format;
    return format.Load(img, path, options, nullptr) ? 0 : -1;
}

int storeWindowsBMP(image& img, const char* path, const char* options) {
    CImageFileFormat_bmp format;
    return format.Store(img, path, options) ? 0 : -1;
}

}  // namespace tarvel
