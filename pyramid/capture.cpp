// Capture: a rectangle of layer-0 pixels scaled into a caller's image from the
// coarsest layer that still has enough pixels.
#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "pyramid/pyramid.h"
#include "pyramid/resampler.h"

namespace tarvel {

bool pyramid::Capture(image& target, int width, int height, int x, int y, int sourceWidth,
                      int sourceHeight) const {
    if (m_layers.empty()) return fail("the pyramid holds no layers");
    if (width < 1 || height < 1) return fail("a capture needs a width and a height of 1 or more");
    // The target is recreated: it must not be one of the layers.
    if (std::find(m_layers.begin(), m_layers.end(), &target) != m_layers.end())
        return fail("the target is a layer of the pyramid");
    const double ratio = std::max(static_cast<double>(sourceWidth) / width,
                                  static_cast<double>(sourceHeight) / height);
    const double floored = std::floor(ratio);
    const int factor = floored >= INT_MAX ? INT_MAX : floored < 0 ? 0 : static_cast<int>(floored);
    const int k = GetLayerForReduction(factor);
    image& layer = *m_layers[k];
    const int loadFailures = layer.GetPageLoadFailures();
    CImageResampler_bilinear resampler;
    resampler.SetSource(&layer, x >> k, y >> k, sourceWidth >> k, sourceHeight >> k);
    resampler.SetDestination(&target, 0, 0, width, height);
    if (!resampler.Execute(nullptr)) {
        return fail("cannot make a " + std::to_string(width) + " x " + std::to_string(height) +
                    " image");
    }
    // A page read as zeros, or a target page that lost its samples, would
    // make a wrong picture that looks right.
    if (layer.GetPageLoadFailures() != loadFailures) return fail(layer.GetError());
    if (target.GetPageSaveFailures() != 0 || target.GetPageLoadFailures() != 0)
        return fail(target.GetError());
    return true;
}

}  // namespace tarvel
