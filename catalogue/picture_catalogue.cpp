#include "catalogue/picture_catalogue.h"

#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "catalogue/make_thumbnail.h"

namespace vx {
namespace {

// Counts and offsets are one byte wide; larger values wrap.
constexpr unsigned Low8(unsigned n) {
    return n & 0xFFu;
}

// Length of `text` up to `limit`, never reading past the limit.
std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    return length;
}

}  // namespace

PictureCatalogue::~PictureCatalogue() {
    RemoveAll();
}

void PictureCatalogue::AddPicture(const char* name, std::uint32_t pictureSize,
                                  std::uint32_t thumbnailSize, std::span<const std::uint8_t> dib) {
    // Nothrow: a failed allocation leaves the list as it was instead of unwinding
    // through the browser's message handler.
    PictureEntry* entry = new (std::nothrow) PictureEntry;
    if (entry == nullptr)
        return;
    entry->pictureSize_ = pictureSize;
    entry->thumbnailSize_ = thumbnailSize;
    if (std::optional<DibImage> thumbnail = MakeThumbnail(dib)) {
        entry->thumbnail_ = std::move(*thumbnail);
    }
    if (name != nullptr) {
        // A longer name is cut, and not read past the cut.
        std::memcpy(entry->name_, name, BoundedLength(name, PictureEntry::kMaxNameLength));
    }

    if (tail_ == nullptr) {
        head_ = entry;
    } else {
        tail_->next_ = entry;
        entry->prev_ = tail_;
    }
    tail_ = entry;
    cursor_ = entry;
    ++count_;
    position_ = count_;
}

void PictureCatalogue::Unlink(PictureEntry* entry) {
    if (entry->prev_ != nullptr) {
        entry->prev_->next_ = entry->next_;
    } else {
        head_ = entry->next_;
    }
    if (entry->next_ != nullptr) {
        entry->next_->prev_ = entry->prev_;
    } else {
        tail_ = entry->prev_;
    }
    delete entry;
    --count_;
}

bool PictureCatalogue::RemoveCurrent() {
    if (cursor_ == nullptr)
        return false;
    PictureEntry* removed = cursor_;
    if (removed->next_ != nullptr) {
        // The follower takes the removed entry's index.
        cursor_ = removed->next_;
    } else {
        // The tail: step back to the new tail, or to nothing when it was the only one.
        cursor_ = removed->prev_;
        --position_;
    }
    Unlink(removed);
    return true;
}

bool PictureCatalogue::RemoveAll() {
    while (head_ != nullptr)
        Unlink(head_);
    cursor_ = nullptr;
    position_ = 0;
    return true;
}

bool PictureCatalogue::RemoveSelected() {
    // Where the cursor lands: its own entry if that survives, else the nearest
    // survivor after it, else the nearest before it.
    PictureEntry* landing = cursor_;
    while (landing != nullptr && landing->selected_ != 0)
        landing = landing->next_;
    if (landing == nullptr) {
        landing = cursor_;
        while (landing != nullptr && landing->selected_ != 0)
            landing = landing->prev_;
    }

    bool removedAny = false;
    for (PictureEntry* entry = head_; entry != nullptr;) {
        PictureEntry* following = entry->next_;
        if (entry->selected_ != 0) {
            Unlink(entry);
            removedAny = true;
        }
        entry = following;
    }

    cursor_ = landing;
    position_ = 0;
    if (landing != nullptr) {
        for (const PictureEntry* entry = head_; entry != landing; entry = entry->next_) {
            ++position_;
        }
        ++position_;
    }
    return removedAny;
}

std::uint32_t PictureCatalogue::LookupThumbnailSize(const char* name) const {
    if (name == nullptr)
        return 0;
    for (const PictureEntry* entry = head_; entry != nullptr; entry = entry->next_) {
        if (std::strcmp(entry->name_, name) == 0)
            return entry->thumbnailSize_;
    }
    return 0;
}

const char* PictureCatalogue::GetName() const {
    return cursor_ != nullptr ? cursor_->name_ : nullptr;
}

std::uint32_t PictureCatalogue::GetPictureSize() const {
    return cursor_ != nullptr ? cursor_->pictureSize_ : 0;
}

std::uint32_t PictureCatalogue::GetThumbnailSize() const {
    return cursor_ != nullptr ? cursor_->thumbnailSize_ : 0;
}

const DibImage* PictureCatalogue::GetThumbnail() const {
    return cursor_ != nullptr ? cursor_->thumbnail() : nullptr;
}

const BitmapInfoHeader* PictureCatalogue::GetPictureInfo() const {
    return cursor_ != nullptr ? &cursor_->pictureInfo_ : nullptr;
}

void PictureCatalogue::SetPictureInfo(const BitmapInfoHeader& info) {
    if (cursor_ != nullptr)
        cursor_->pictureInfo_ = info;
}

bool PictureCatalogue::Forward(unsigned n) {
    PictureEntry* target = EntryAfterCursor(n);
    if (target == nullptr)
        return false;
    cursor_ = target;
    position_ += static_cast<std::int32_t>(Low8(n));
    return true;
}

bool PictureCatalogue::Back(unsigned n) {
    if (cursor_ == nullptr)
        return false;
    for (unsigned steps = Low8(n); steps > 0 && cursor_->prev_ != nullptr; --steps) {
        cursor_ = cursor_->prev_;
        --position_;
    }
    return true;
}

bool PictureCatalogue::ToFirst() {
    if (cursor_ == head_)
        return false;
    cursor_ = head_;
    position_ = 1;
    return true;
}

bool PictureCatalogue::ToFirstSelected() {
    std::int32_t index = 1;
    for (PictureEntry* entry = head_; entry != nullptr; entry = entry->next_, ++index) {
        if (entry->selected_ != 0) {
            cursor_ = entry;
            position_ = index;
            return true;
        }
    }
    return false;
}

bool PictureCatalogue::ToNextSelected() {
    if (cursor_ == nullptr)
        return false;
    std::int32_t index = position_ + 1;
    for (PictureEntry* entry = cursor_->next_; entry != nullptr; entry = entry->next_, ++index) {
        if (entry->selected_ != 0) {
            cursor_ = entry;
            position_ = index;
            return true;
        }
    }
    return false;
}

PictureEntry* PictureCatalogue::EntryAfterCursor(unsigned offset) const {
    PictureEntry* entry = cursor_;
    for (unsigned steps = Low8(offset); steps > 0 && entry != nullptr; --steps) {
        entry = entry->next_;
    }
    return entry;
}

std::uint32_t PictureCatalogue::IsSelectedAt(unsigned offset) const {
    const PictureEntry* entry = EntryAfterCursor(offset);
    return entry != nullptr ? entry->selected_ : 0;
}

void PictureCatalogue::ToggleSelectedAt(unsigned offset) {
    if (PictureEntry* entry = EntryAfterCursor(offset)) {
        entry->selected_ = entry->selected_ == 0 ? 1 : 0;
    }
}

void PictureCatalogue::SelectRange(unsigned first, unsigned last) {
    first = Low8(first);
    last = Low8(last);
    unsigned index = 0;
    for (PictureEntry* entry = head_; entry != nullptr && index <= last;
         entry = entry->next_, ++index) {
        if (index >= first)
            entry->selected_ = 1;
    }
}

void PictureCatalogue::ClearSelection() {
    for (PictureEntry* entry = head_; entry != nullptr; entry = entry->next_)
        entry->selected_ = 0;
}

void PictureCatalogue::SelectAll() {
    for (PictureEntry* entry = head_; entry != nullptr; entry = entry->next_)
        entry->selected_ = 1;
}

std::int32_t PictureCatalogue::CountSelected() const {
    std::int32_t selected = 0;
    for (const PictureEntry* entry = head_; entry != nullptr; entry = entry->next_) {
        if (entry->selected_ != 0)
            ++selected;
    }
    return selected;
}

}  // namespace vx
