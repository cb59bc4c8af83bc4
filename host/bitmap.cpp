// KORBAS::CBitmap, the base of host bitmaps, and the decoding exception.
#include "host/bitmap.h"

namespace KORBAS {

CImageDecodeException::CImageDecodeException(const std::string& path, const std::string& reason)
    : std::runtime_error(path + ": " + reason), m_path(path), m_reason(reason) {}

CBitmap::CBitmap(CImage* owner) : m_pImage(owner) {}

CBitmap::~CBitmap() = default;

}  // namespace KORBAS
