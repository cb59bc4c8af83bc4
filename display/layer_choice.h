// The layer questions both pyramid adapters answer the same way: the
// reduction factor of two display scales, and the extent a layer covers.
#pragma once

namespace KORBAS {
class CImage;
}

namespace tarvel {

// The integer reduction for display scales a and b (display pixels per layer-0
// pixel): the integer part of the larger of 1/a and 1/b, or 0 when that is
// not above 1 (or not a number).
int ReductionForScales(double a, double b);

// The extent in layer-0 pixels of a layer of img: its size (img's virtual
// GetLayerWidth and GetLayerHeight) shifted left by the layer number.
void ExtentOfLayer(KORBAS::CImage& img, int layer, unsigned& width, unsigned& height);

}  // namespace tarvel
