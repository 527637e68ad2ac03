#pragma once
// One picture of the catalogue: its name, its sizes on the camera, the selection
// mark, the grid thumbnail and the header that describes the full picture. Entries
// are created, linked and destroyed only by the catalogue; everyone else reads them.

#include <cstddef>
#include <cstdint>

#include "dib/bitmap_info_header.h"
#include "dib/dib_image.h"

namespace vx {

class PictureCatalogue;

class PictureEntry {
  public:
    // Room for a full path and its terminating NUL; longer names are cut.
    static constexpr std::size_t kNameCapacity = 260;
    static constexpr std::size_t kMaxNameLength = kNameCapacity - 1;

    PictureEntry(const PictureEntry&) = delete;
    PictureEntry& operator=(const PictureEntry&) = delete;

    const PictureEntry* prev() const { return prev_; }
    const PictureEntry* next() const { return next_; }

    // Camera picture: the 8-character name from the listing; folder picture: the path.
    const char* name() const { return name_; }
    std::uint32_t selected() const { return selected_; }
    // All zero until the first SetPictureInfo.
    const BitmapInfoHeader& pictureInfo() const { return pictureInfo_; }
    std::uint32_t pictureSize() const { return pictureSize_; }
    // Bytes read for the thumbnail; non-zero only for camera pictures.
    std::uint32_t thumbnailSize() const { return thumbnailSize_; }
    // Null when no thumbnail could be made.
    const DibImage* thumbnail() const { return thumbnail_.empty() ? nullptr : &thumbnail_; }

  private:
    friend class PictureCatalogue;
    PictureEntry() = default;

    PictureEntry* prev_ = nullptr;
    PictureEntry* next_ = nullptr;
    char name_[kNameCapacity] = {};
    std::uint32_t selected_ = 0;
    // Zero-filled, not the defaults of a fresh header: nothing is known yet.
    BitmapInfoHeader pictureInfo_{.biSize = 0, .biPlanes = 0, .biBitCount = 0};
    std::uint32_t pictureSize_ = 0;
    std::uint32_t thumbnailSize_ = 0;
    DibImage thumbnail_;
};

}  // namespace vx
