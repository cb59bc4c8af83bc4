// Image::IImage: size, channels, pixel type and image type of an image.
#include "overlaid/overlaid.h"

namespace Image {

IImage::IImage()
    : m_nWidth(0),
      m_nHeight(0),
      m_nChannels(0),
      m_nPixelType(kPixelByte),
      m_nImageType(kImageColour) {}

IImage::IImage(unsigned width, unsigned height, unsigned channels, PixelType, ImageType imageType)
    : m_nWidth(width),
      m_nHeight(height),
      m_nChannels(channels),
      m_nPixelType(kPixelByte),
      m_nImageType(imageType) {}

IImage::~IImage() = default;

void IImage::SetImage(unsigned width, unsigned height, unsigned channels, PixelType,
                      ImageType imageType) {
    m_nWidth = width;
    m_nHeight = height;
    m_nChannels = channels;
    m_nPixelType = kPixelByte;
    m_nImageType = imageType;
}

}  // namespace Image
