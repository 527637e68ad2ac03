// Entries are allocated with nothrow new; this program replaces that one allocation
// function so a test can make the next entry allocation fail.

#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/picture_catalogue.h"
#include "tests/catalogue/catalogue_check.h"

namespace {
bool g_failNextNothrowNew = false;
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNextNothrowNew) {
        g_failNextNothrowNew = false;
        return nullptr;
    }
    try {
        // The ordinary operator new, so that delete (and the sanitizers) match it.
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace vx {
namespace {

TEST(PictureCatalogueAllocation, EntryThatCannotBeAllocatedIsNotLinked) {
    for (int existing : {0, 1, 3}) {
        SCOPED_TRACE(std::to_string(existing) + " entries before");
        PictureCatalogue catalogue;
        test::FillAt(catalogue, existing, existing > 1 ? 2 : existing);
        const std::vector<std::string> before = test::Names(catalogue);
        const PictureEntry* cursorBefore = catalogue.cursor();
        const std::int32_t positionBefore = catalogue.position();

        auto picture = DibImage::Create(160, 120, 2835);
        ASSERT_TRUE(picture);
        g_failNextNothrowNew = true;
        catalogue.AddPicture("LOST", 7, 7, picture->bytes());
        ASSERT_FALSE(g_failNextNothrowNew) << "the entry was not allocated with nothrow new";

        EXPECT_TRUE(test::IsConsistent(catalogue));
        EXPECT_EQ(test::Names(catalogue), before);
        EXPECT_EQ(catalogue.cursor(), cursorBefore);
        EXPECT_EQ(catalogue.position(), positionBefore);
        EXPECT_EQ(catalogue.LookupThumbnailSize("LOST"), 0u);

        // The next allocation works and appends as usual.
        catalogue.AddPicture("FOUND", 8, 8, picture->bytes());
        EXPECT_TRUE(test::IsConsistent(catalogue));
        EXPECT_EQ(catalogue.count(), existing + 1);
        EXPECT_STREQ(catalogue.GetName(), "FOUND");
        EXPECT_NE(catalogue.GetThumbnail(), nullptr);
    }
}

}  // namespace
}  // namespace vx
