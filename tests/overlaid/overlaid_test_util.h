// Overlaid-image test helpers: images released by reference, a part-list limit
// for one test, and an image whose tiles log what the part list does to them.
#pragma once

#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "overlaid/overlaid.h"

namespace tarvel_test {

using Image::COverlaidImage;
using Image::IImage;
constexpr IImage::PixelType kByte = IImage::kPixelByte;
constexpr IImage::ImageType kGrey = IImage::kImageGrey;
constexpr IImage::ImageType kColour = IImage::kImageColour;

// Drops the one reference a test holds.
struct release_reference {
    void operator()(zun::IRefCounter* object) const { object->SubReference(); }
};
template <class T>
using held = std::unique_ptr<T, release_reference>;

// The shared list's byte limit for the lifetime of the object.
struct part_limit {
    explicit part_limit(unsigned limit) { img::COverlaidImagePartList::SetDefaultByteLimit(limit); }
    ~part_limit() {
        img::COverlaidImagePartList::SetDefaultByteLimit(
            img::COverlaidImagePartList::kDefaultByteLimit);
    }
};

// An image whose tiles append "Save A3", "Detach A3", "Attach A3", "Load A3",
// "Alloc A3" (image name, tile index) to a log, and can be told to fail.
class logging_image : public COverlaidImage {
  public:
    struct tile;
    logging_image(char name, std::vector<std::string>& log) : m_name(name), m_log(log) {}
    int saves = 0;             // Save calls so far
    int failing_tile = -1;     // this tile's Alloc, Load or Save throws ...
    const char* fail_in = "";  // ... when this names the operation

  protected:
    // The tiles refer to this image: they go before it does.
    ~logging_image() override { Destroy(); }
    unsigned GetOverlaySize() const override;
    void CreateOverlay(void* where, unsigned col, unsigned row, unsigned width,
                       unsigned height) override;

  private:
    char m_name;
    std::vector<std::string>& m_log;
};

struct logging_image::tile : COverlaidImagePart {
    tile(logging_image* owner, unsigned col, unsigned row, unsigned width, unsigned height)
        : COverlaidImagePart(owner, col, row, width, height, owner->GetTileBytes()), m(*owner) {}
    void note(const char* what) {
        const unsigned k = m_nRow * m.GetTilesAcross() + m_nCol;
        m.m_log.push_back(std::string(what) + " " + m.m_name + std::to_string(k));
        if (static_cast<int>(k) == m.failing_tile && std::string(what) == m.fail_in) {
            if (std::string(what) == "Alloc") throw std::bad_alloc();
            throw std::system_error(std::make_error_code(std::errc::io_error), "test");
        }
    }
    void Alloc() override { note("Alloc"), COverlaidImagePart::Alloc(); }
    void Attach(void* buffer) override { note("Attach"), COverlaidImagePart::Attach(buffer); }
    void* Detach() override { return note("Detach"), COverlaidImagePart::Detach(); }
    void Load() override { note("Load"), COverlaidImagePart::Load(); }
    void Save() override { ++m.saves, note("Save"), COverlaidImagePart::Save(); }
    logging_image& m;
};

inline unsigned logging_image::GetOverlaySize() const {
    return sizeof(tile);
}

inline void logging_image::CreateOverlay(void* where, unsigned col, unsigned row, unsigned width,
                                         unsigned height) {
    if (where) new (where) tile(this, col, row, width, height);
}

}  // namespace tarvel_test
