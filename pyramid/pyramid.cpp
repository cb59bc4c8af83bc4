// The pyramid model: construction, layer ownership, layer choice and the
// operations forwarded to every layer.
#include "pyramid/pyramid.h"

#include <chrono>
#include <exception>
#include <thread>

#include "pyramid/page_files.h"

namespace tarvel {

pyramid::pyramid() : m_resampleMode(0) {}

pyramid::~pyramid() {
    Destroy();
}

namespace {

// Attempts at the sweep after the last reader closes: another reader or a
// builder closing at the same instant holds a lock for a moment only.
constexpr int kCloseSweepAttempts = 3;

}  // namespace

bool pyramid::Destroy() {
    if (!dropLayers()) return true;
    // Files a build left for this reader go now, unless another reader or a
    // builder is there (the last of them sweeps). Nothing here may throw: the
    // destructor runs this.
    try {
        for (int attempt = 0; attempt < kCloseSweepAttempts; ++attempt) {
            if (SweepWorkDirectory(m_lockedDirectory, false)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } catch (const std::exception&) {
    }
    return true;
}

bool pyramid::dropLayers() {
    for (auto it = m_layers.rbegin(); it != m_layers.rend(); ++it) delete *it;
    m_layers.clear();
    m_name.clear();
    const bool held = m_readLock.IsHeld();
    m_readLock.Release();
    return held;
}

void pyramid::Clear() {
    Destroy();
}

bool pyramid::Delete() {
    return true;
}

void pyramid::replaceLayers(std::vector<image*>& layers, const std::string& name,
                            directory_lock& readLock) {
    dropLayers();
    m_layers.swap(layers);
    m_name = name;
    m_readLock = std::move(readLock);
    m_lockedDirectory = m_workDirectory;
    m_error.clear();
}

bool pyramid::Flush() {
    for (image* layer : m_layers) {
        if (!layer->Flush()) return fail(layer->GetError());
    }
    return true;
}

void pyramid::PushBack(image* layer) {
    m_layers.push_back(layer);
}

int LayerForReduction(int factor, int layerCount) {
    int k = 0;
    while (k + 1 < layerCount && k < 30 && (1 << (k + 1)) <= factor) ++k;
    return k;
}

int pyramid::GetLayerForReduction(int factor) const {
    return LayerForReduction(factor, GetLayerCount());
}

int pyramid::CountLayers(int width, int height) {
    if (width < 1 || height < 1) return 0;
    int n = 1;
    while ((width > kPyramidFitPixels || height > kPyramidFitPixels) && width >= 2 && height >= 2) {
        width >>= 1;
        height >>= 1;
        ++n;
    }
    return n;
}

void pyramid::SetBrightnessContrast(double brightness, double contrast) {
    for (image* layer : m_layers) layer->SetBrightnessContrast(brightness, contrast);
}

void pyramid::GetBrightnessContrast(double& brightness, double& contrast) const {
    if (!m_layers.empty()) m_layers.front()->GetBrightnessContrast(brightness, contrast);
}

void pyramid::StoreBrightnessContrast() {
    for (image* layer : m_layers) layer->StoreBrightnessContrast();
}

void pyramid::GetRegion(int layer, int x0, int y0, int x1, int y1, int channel,
                        unsigned char* buffer) {
    m_layers[layer]->GetRegion(x0, y0, x1, y1, channel, buffer);
}

void pyramid::GetRegionRGB(int layer, int x0, int y0, int x1, int y1, int* buffer) {
    m_layers[layer]->GetRegionRGB(x0, y0, x1, y1, buffer);
}

}  // namespace tarvel
