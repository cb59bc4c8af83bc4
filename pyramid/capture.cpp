// Capture: a rectangle of layer-0 pixels scaled into a caller's image from the
// coarsest layer that still has enough pixels.
#include <algorithm>
#include <climits>
#include <cmath>

#include "pyramid/pyramid.h"
#include "pyramid/resampler.h"

namespace tarvel {

bool pyramid::Capture(image& target, int width, int height, int x, int y, int sourceWidth,
                      int sourceHeight) const {
    if (m_layers.empty() || width < 1 || height < 1) return false;
    // The target is recreated: it must not be one of the layers.
    if (std::find(m_layers.begin(), m_layers.end(), &target) != m_layers.end()) return false;
    const double ratio = std::max(static_cast<double>(sourceWidth) / width,
                                  static_cast<double>(sourceHeight) / height);
    const double floored = std::floor(ratio);
    const int factor = floored >= INT_MAX ? INT_MAX : floored < 0 ? 0 : static_cast<int>(floored);
    const int k = GetLayerForReduction(factor);
    CImageResampler_bilinear resampler;
    resampler.SetSource(m_layers[k], x >> k, y >> k, sourceWidth >> k, sourceHeight >> k);
    resampler.SetDestination(&target, 0, 0, width, height);
    return resampler.Execute(nullptr);
}

}  // namespace tarvel
