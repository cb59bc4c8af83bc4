// Intensity mapping: brightness and contrast, the 256-entry table applied to pages as they are
// filled.
#include <cmath>
#include <string>

#include "image/directory.h"
#include "image/image.h"
#include "platform/platform.h"

namespace tarvel {

namespace {

// Output shift per brightness step: the double one unit in the last place above
// the double nearest 5.1 (bit pattern 0x4014666666666667). With it brightness 0
// puts the top of the output window just below 0, so everything maps to 0.
constexpr double kBrightnessFactor = 0x1.4666666666667p+2;
// Window narrowing per contrast step away from 50.
constexpr double kContrastFactor = 2.54;
// Brightness and contrast of the neutral setting.
constexpr double kNeutral = 50.0;

// Into 0..100: 100 becomes 0, 130 becomes 30, -10 becomes 90, -100 becomes 100.
// A value that is not a number, or infinite, becomes the neutral 50.
double normalised(double x) {
    if (!std::isfinite(x)) return kNeutral;
    return x >= 0 ? std::fmod(x, 100.0) : 100.0 - std::fmod(-x, 100.0);
}

// A bound as an 8-bit value: the fraction dropped, kept inside 0..255.
unsigned char bound(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<unsigned char>(static_cast<int>(v));
}

}  // namespace

void image::SetIntensities(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    if (a == m_lowIn && b == m_highIn && c == m_lowOut && d == m_highOut) return;
    m_lowIn = a < b ? a : b;
    m_highIn = a < b ? b : a;
    m_lowOut = c < d ? c : d;
    m_highOut = c < d ? d : c;
    m_mappingActive = !(m_lowIn == 0 && m_highIn == 255 && m_lowOut == 0 && m_highOut == 255);
    if (!m_mappingActive) {
        delete[] m_intensityTable;
        m_intensityTable = nullptr;
    } else {
        if (m_intensityTable == nullptr) m_intensityTable = new unsigned char[256];
        // The middle band grows by repeated addition of the slope, entry by entry.
        const int width = m_highIn - m_lowIn;  // no middle band below 2
        const double slope = width > 1 ? static_cast<double>(m_highOut - m_lowOut) / width : 0.0;
        double run = slope;
        for (int s = 0; s < 256; ++s) {
            if (s <= m_lowIn) {
                m_intensityTable[s] = static_cast<unsigned char>(m_lowOut);
            } else if (s >= m_highIn) {
                m_intensityTable[s] = static_cast<unsigned char>(m_highOut);
            } else {
                m_intensityTable[s] =
                    static_cast<unsigned char>(m_lowOut + static_cast<int>(run + 0.5));
                run += slope;
            }
        }
    }
    // Pages in memory were filled through the old table: drop them, and refill
    // the pinned ones that cannot leave.
    Flush();
    refillPinnedPages();
}

void image::SetDefaultIntensities() {
    SetIntensities(0, 255, 0, 255);
}

void image::SetBrightnessContrast(double brightness, double contrast) {
    brightness = normalised(brightness);
    contrast = normalised(contrast);
    const double p = std::pow(10.0, -1);
    contrast = std::floor(contrast / p + 0.5) * p;
    if (brightness == m_brightness && contrast == m_contrast) return;
    m_brightness = brightness;
    m_contrast = contrast;
    StoreBrightnessContranstInIniFile();

    const double low = (brightness - kNeutral) * kBrightnessFactor;
    const double high = low + 255.0;
    double li, hi, lo, ho;  // input window, then output window
    if (contrast >= kNeutral) {
        const double d = (contrast - kNeutral) * kContrastFactor;
        const double e = 255.0 - d;
        if (low >= 0 && high <= 255) {
            li = d, hi = e, lo = low, ho = high;
        } else if (low >= 0) {
            li = d, hi = d + (e - d) * (255.0 - low) / (high - low), lo = low, ho = 255;
        } else if (high <= 0) {
            li = 0, hi = 255, lo = 0, ho = 0;
        } else {
            li = d - (e - d) * low / (high - low), hi = e, lo = 0, ho = high;
        }
    } else {
        const double g = (kNeutral - contrast) * kContrastFactor;
        const double low2 = low + g;
        const double high2 = high - g;
        if (low2 >= 0 && high2 <= 255) {
            li = 0, hi = 255, lo = low2, ho = high2;
        } else if (low2 >= 0) {
            li = 0, hi = (255.0 - low2) * 255.0 / (high2 - low2), lo = low2, ho = 255;
        } else if (high2 <= 0) {
            li = 0, hi = 255, lo = 0, ho = 0;
        } else {
            li = low2 * -255.0 / (high2 - low2), hi = 255, lo = 0, ho = high2;
        }
    }
    SetIntensities(bound(li), bound(hi), bound(lo), bound(ho));
}

void image::GetBrightnessContrast(double& brightness, double& contrast) const {
    brightness = m_brightness;
    contrast = m_contrast;
}

void image::GetIntensityBounds(int& lowIn, int& highIn, int& lowOut, int& highOut) const {
    lowIn = m_lowIn;
    highIn = m_highIn;
    lowOut = m_lowOut;
    highOut = m_highOut;
}

void image::StoreBrightnessContrast() {
    if (m_brightness == kNeutral && m_contrast == kNeutral) return;
    if (m_pageTable != nullptr) {
        // Every page, filled through the current table, is written back as seen.
        for (int p = 0; p < m_pageCount; ++p) {
            for (int c = 0; c < m_channels; ++c) {
                scan_page* page = nullptr;
                unsigned char* ptr = nullptr;
                getPage(c, p * m_pageSize, page, ptr);
                page->m_dirty = true;
                page->save();
            }
        }
    }
    SetBrightnessContrast(kNeutral, kNeutral);
}

void image::StoreBrightnessContranstInIniFile() const {
    if (!m_directoryAttached) return;
    const std::string brightness = std::to_string(ToHundredths(m_brightness));
    const std::string contrast = std::to_string(ToHundredths(m_contrast));
    const LPCSTR keys[] = {"Brightness", "Contrast"};
    const LPCSTR values[] = {brightness.c_str(), contrast.c_str()};
    // Both keys in one replacement of the file, so they never disagree on disk.
    WritePrivateProfileKeysA(m_directorySection.c_str(), keys, values, 2, m_directoryFile.c_str());
}

}  // namespace tarvel
