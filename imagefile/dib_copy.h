// The copy of a decoded host bitmap into a paged image, behind
// CImageFileFormat_dib::Load; declared apart so that tests can hand it bitmaps
// no file decodes to.
#pragma once

#include "host/bitmap.h"
#include "image/image.h"

namespace tarvel {

// Recreates `img` at the bitmap's size and copies its pixels, row 0 at the top:
// 8 bits and fewer as a palette image (or, with expandPalette, as grey when
// every palette entry is grey, else RGB), 17 to 24 bits as RGB (three bytes a
// pixel), 25 and more as RGB (four bytes a pixel, the fourth skipped). False,
// with the image as it was, for 9 to 16 bits, a size the paged image cannot
// take, or rows wider than the bitmap's scan-line offset; false after creating
// the image if that creation fails. Host exceptions pass through.
bool copyBitmapToImage(const KORBAS::CBitmapWindows& bitmap, image& img,
                       bool expandPalette = false);

}  // namespace tarvel
