#pragma once
// The list of pictures that the browser shows, in listing order, with a cursor: the
// entry in the grid's first cell and the one that save, delete and hand-off work on.
// `position` is the cursor's 1-based index (0 when empty).
//
// Counts and offsets given to Forward, Back, IsSelectedAt, ToggleSelectedAt and
// SelectRange are 8-bit: only their low 8 bits count, so Forward(259) moves 3.
// The grid never passes more than a row (3) or a page offset (8).
//
// Not thread-safe; the browser uses it from its one window thread.

#include <cstdint>
#include <span>

#include "catalogue/picture_entry.h"
#include "dib/bitmap_info_header.h"
#include "dib/dib_image.h"

namespace vx {

class PictureCatalogue {
  public:
    PictureCatalogue() = default;
    ~PictureCatalogue();
    PictureCatalogue(const PictureCatalogue&) = delete;
    PictureCatalogue& operator=(const PictureCatalogue&) = delete;

    // Appends an entry at the tail and makes it the cursor. `name` is cut to
    // PictureEntry::kMaxNameLength characters (null counts as ""). `dib` is a packed
    // 24-bit picture that stays the caller's; the entry gets a thumbnail made from
    // it, or none when it is empty or unusable. When the entry itself cannot be
    // allocated nothing changes.
    void AddPicture(const char* name, std::uint32_t pictureSize, std::uint32_t thumbnailSize,
                    std::span<const std::uint8_t> dib);

    // Removes the cursor entry; the cursor moves to the follower (same position) or,
    // at the tail, to the new tail. False only without a cursor.
    bool RemoveCurrent();
    // Always true.
    bool RemoveAll();
    // Removes every selected entry; the cursor stays on its entry if that survives,
    // else goes to the nearest survivor after it, else before it. True if any went.
    bool RemoveSelected();

    // thumbnailSize of the first entry named exactly `name`; 0 if none or `name` is
    // null. Leaves the cursor alone.
    std::uint32_t LookupThumbnailSize(const char* name) const;

    // Cursor entry's fields; null or 0 without a cursor.
    const char* GetName() const;
    std::uint32_t GetPictureSize() const;
    std::uint32_t GetThumbnailSize() const;
    const DibImage* GetThumbnail() const;
    const BitmapInfoHeader* GetPictureInfo() const;
    // Nothing without a cursor.
    void SetPictureInfo(const BitmapInfoHeader& info);

    // Moves n entries towards the tail, or not at all (false) if fewer follow.
    bool Forward(unsigned n);
    // Moves up to n entries towards the head, stopping there; true with a cursor.
    bool Back(unsigned n);
    // False when the cursor already is the head (or the catalogue is empty).
    bool ToFirst();
    bool ToFirstSelected();
    bool ToNextSelected();

    // Mark of the entry `offset` places after the cursor; 0 past the tail.
    std::uint32_t IsSelectedAt(unsigned offset) const;
    void ToggleSelectedAt(unsigned offset);
    // Marks the 0-based indexes first..last from the head, stopping at the tail.
    void SelectRange(unsigned first, unsigned last);
    void ClearSelection();
    void SelectAll();
    std::int32_t CountSelected() const;

    // Read-only view of the list, for the grid and for checks.
    const PictureEntry* head() const { return head_; }
    const PictureEntry* tail() const { return tail_; }
    const PictureEntry* cursor() const { return cursor_; }
    std::int32_t count() const { return count_; }
    std::int32_t position() const { return position_; }

  private:
    PictureEntry* EntryAfterCursor(unsigned offset) const;
    // Takes `entry` out of the list and frees it; the cursor is the caller's business.
    void Unlink(PictureEntry* entry);

    PictureEntry* head_ = nullptr;
    PictureEntry* tail_ = nullptr;
    PictureEntry* cursor_ = nullptr;
    std::int32_t count_ = 0;
    std::int32_t position_ = 0;
};

}  // namespace vx
