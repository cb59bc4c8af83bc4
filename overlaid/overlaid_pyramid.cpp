// Image::COverlaidPyramid: reference-counted layers and the layer for a
// display reduction.
#include <climits>
#include <cmath>

#include "overlaid/overlaid.h"
#include "pyramid/pyramid.h"

namespace Image {

COverlaidPyramid::COverlaidPyramid() : m_nResampleMode(0) {}

COverlaidPyramid::COverlaidPyramid(const COverlaidPyramid& other)
    : m_layers(other.m_layers), m_nResampleMode(other.m_nResampleMode) {
    for (COverlaidImage* layer : m_layers) layer->AddReference();
}

COverlaidPyramid& COverlaidPyramid::operator=(const COverlaidPyramid& other) {
    if (this != &other) {
        // References to the new layers first: they may be the very layers released below.
        for (COverlaidImage* layer : other.m_layers) layer->AddReference();
        Clear();
        m_layers = other.m_layers;
        m_nResampleMode = other.m_nResampleMode;
    }
    return *this;
}

COverlaidPyramid::~COverlaidPyramid() {
    Clear();
}

void COverlaidPyramid::PushBack(COverlaidImage* layer) {
    if (layer) m_layers.push_back(layer);
}

void COverlaidPyramid::Clear() {
    for (COverlaidImage* layer : m_layers) layer->SubReference();
    m_layers.clear();
}

bool COverlaidPyramid::Destroy() {
    if (m_layers.empty()) return false;
    Clear();
    return true;
}

void COverlaidPyramid::Flush() {
    for (COverlaidImage* layer : m_layers) layer->Flush();
}

int COverlaidPyramid::FindBestLayer(int factor) const {
    return tarvel::LayerForReduction(factor, GetLayerCount());
}

int COverlaidPyramid::FindBestLayer(double a, double b) const {
    const double m = a < b || std::isnan(a) || std::isnan(b) ? b : a;
    if (!(m > 1.0)) return 0;
    return FindBestLayer(m >= INT_MAX ? INT_MAX : static_cast<int>(std::floor(m)));
}

}  // namespace Image
