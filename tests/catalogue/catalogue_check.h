#pragma once
// Shared by the catalogue tests: the list invariants, walked both ways, and small
// builders for catalogues of named entries.

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/picture_catalogue.h"

namespace vx::test {

// Every structural invariant of the catalogue: head/tail ends, prev and next agree,
// `count` entries both ways, the cursor is an entry at index `position` (or null
// with position 0 exactly when empty), marks are 0 or 1.
inline ::testing::AssertionResult IsConsistent(const PictureCatalogue& catalogue) {
    const std::int32_t count = catalogue.count();
    if (count < 0)
        return ::testing::AssertionFailure() << "negative count " << count;
    if ((catalogue.head() == nullptr) != (count == 0) ||
        (catalogue.tail() == nullptr) != (count == 0)) {
        return ::testing::AssertionFailure() << "head/tail do not match count " << count;
    }
    if (count == 0) {
        if (catalogue.cursor() != nullptr || catalogue.position() != 0) {
            return ::testing::AssertionFailure()
                   << "empty catalogue with a cursor or position " << catalogue.position();
        }
        return ::testing::AssertionSuccess();
    }
    if (catalogue.head()->prev() != nullptr) {
        return ::testing::AssertionFailure() << "head has a prev";
    }

    std::int32_t cursorIndex = 0;
    const PictureEntry* entry = catalogue.head();
    for (std::int32_t index = 1; index <= count; ++index) {
        if (entry == nullptr) {
            return ::testing::AssertionFailure()
                   << "list ends after " << index - 1 << " of " << count << " entries";
        }
        if (entry->selected() > 1) {
            return ::testing::AssertionFailure()
                   << "entry " << index << " has mark " << entry->selected();
        }
        if (entry == catalogue.cursor())
            cursorIndex = index;
        if (entry->next() != nullptr && entry->next()->prev() != entry) {
            return ::testing::AssertionFailure()
                   << "entry " << index + 1 << " does not point back to entry " << index;
        }
        if (index == count && entry != catalogue.tail()) {
            return ::testing::AssertionFailure() << "entry " << count << " is not the tail";
        }
        entry = entry->next();
    }
    if (entry != nullptr)
        return ::testing::AssertionFailure() << "tail has a next";

    entry = catalogue.tail();
    for (std::int32_t steps = 1; steps < count; ++steps)
        entry = entry->prev();
    if (entry != catalogue.head()) {
        return ::testing::AssertionFailure() << "walking back from the tail misses the head";
    }
    if (cursorIndex == 0)
        return ::testing::AssertionFailure() << "cursor is not in the list";
    if (cursorIndex != catalogue.position()) {
        return ::testing::AssertionFailure()
               << "cursor is entry " << cursorIndex << " but position is " << catalogue.position();
    }
    return ::testing::AssertionSuccess();
}

// Entries named P1..Pn (no thumbnails), picture size 1000 + i, thumbnail size 100 + i.
inline void Fill(PictureCatalogue& catalogue, int n) {
    for (int i = 1; i <= n; ++i) {
        std::string name = "P";
        name += std::to_string(i);
        catalogue.AddPicture(name.c_str(), 1000u + static_cast<std::uint32_t>(i),
                             100u + static_cast<std::uint32_t>(i), {});
    }
}

// Fill, then put the cursor at `position`.
inline void FillAt(PictureCatalogue& catalogue, int n, int position) {
    Fill(catalogue, n);
    catalogue.ToFirst();
    catalogue.Forward(static_cast<unsigned>(position - 1));
}

inline std::vector<std::string> Names(const PictureCatalogue& catalogue) {
    std::vector<std::string> names;
    for (const PictureEntry* e = catalogue.head(); e != nullptr; e = e->next()) {
        names.emplace_back(e->name());
    }
    return names;
}

// 1-based indexes of the selected entries.
inline std::vector<int> Marked(const PictureCatalogue& catalogue) {
    std::vector<int> marked;
    int index = 1;
    for (const PictureEntry* e = catalogue.head(); e != nullptr; e = e->next(), ++index) {
        if (e->selected() != 0)
            marked.push_back(index);
    }
    return marked;
}

inline std::string CursorName(const PictureCatalogue& catalogue) {
    const char* name = catalogue.GetName();
    return name != nullptr ? name : "(none)";
}

}  // namespace vx::test
