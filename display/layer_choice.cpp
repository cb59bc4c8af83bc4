// The reduction of two display scales and the extent of a layer, shared by
// the pyramid adapters.
#include "display/layer_choice.h"

#include <climits>
#include <cmath>

#include "host/image.h"

namespace tarvel {

int ReductionForScales(double a, double b) {
    const double m = 1.0 / a < 1.0 / b ? 1.0 / b : 1.0 / a;
    if (!(m > 1.0)) return 0;
    return m >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(std::floor(m));
}

void ExtentOfLayer(KORBAS::CImage& img, int layer, unsigned& width, unsigned& height) {
    const int shift = layer > 0 && layer < 32 ? layer : 0;
    width = img.GetLayerWidth(layer) << shift;
    height = img.GetLayerHeight(layer) << shift;
}

}  // namespace tarvel
