#include "catalogue/picture_catalogue.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/catalogue/catalogue_check.h"

namespace vx {
namespace {

using test::CursorName;
using test::Fill;
using test::FillAt;
using test::IsConsistent;
using test::Marked;
using test::Names;
using Strings = std::vector<std::string>;

TEST(PictureCatalogue, EmptyCatalogueAnswersNothingAndStaysEmpty) {
    PictureCatalogue catalogue;
    EXPECT_FALSE(catalogue.RemoveCurrent());
    EXPECT_FALSE(catalogue.RemoveSelected());
    EXPECT_TRUE(catalogue.RemoveAll());
    EXPECT_EQ(catalogue.LookupThumbnailSize("P1"), 0u);
    EXPECT_EQ(catalogue.GetName(), nullptr);
    EXPECT_EQ(catalogue.GetPictureSize(), 0u);
    EXPECT_EQ(catalogue.GetThumbnailSize(), 0u);
    EXPECT_EQ(catalogue.GetThumbnail(), nullptr);
    EXPECT_EQ(catalogue.GetPictureInfo(), nullptr);
    catalogue.SetPictureInfo(BitmapInfoHeader{});
    EXPECT_FALSE(catalogue.Forward(0));
    EXPECT_FALSE(catalogue.Back(0));
    EXPECT_FALSE(catalogue.ToFirst());
    EXPECT_FALSE(catalogue.ToFirstSelected());
    EXPECT_FALSE(catalogue.ToNextSelected());
    EXPECT_EQ(catalogue.IsSelectedAt(0), 0u);
    catalogue.ToggleSelectedAt(0);
    catalogue.SelectRange(0, 255);
    catalogue.SelectAll();
    catalogue.ClearSelection();
    EXPECT_EQ(catalogue.CountSelected(), 0);
    EXPECT_EQ(catalogue.count(), 0);
    EXPECT_TRUE(IsConsistent(catalogue));
}

TEST(PictureCatalogue, AddPictureAppendsAtTailAndMovesCursorThere) {
    PictureCatalogue catalogue;
    for (int n = 1; n <= 3; ++n) {
        const std::string name = "PIC" + std::to_string(n);
        catalogue.AddPicture(name.c_str(), 5000u + n, 20u + n, {});
        ASSERT_TRUE(IsConsistent(catalogue)) << "after adding " << n;
        EXPECT_EQ(catalogue.count(), n);
        EXPECT_EQ(catalogue.position(), n);
        EXPECT_EQ(catalogue.tail(), catalogue.cursor());
        EXPECT_EQ(CursorName(catalogue), name);
        EXPECT_EQ(catalogue.GetPictureSize(), 5000u + n);
        EXPECT_EQ(catalogue.GetThumbnailSize(), 20u + n);
        EXPECT_EQ(catalogue.IsSelectedAt(0), 0u);
        // Nothing is known about the full picture until it is set: all 40 bytes zero.
        std::uint8_t info[BitmapInfoHeader::kSize];
        catalogue.GetPictureInfo()->WriteTo(info);
        EXPECT_EQ(std::vector<std::uint8_t>(info, info + sizeof info),
                  std::vector<std::uint8_t>(sizeof info, 0));
    }
    EXPECT_EQ(Names(catalogue), (Strings{"PIC1", "PIC2", "PIC3"}));
}

TEST(PictureCatalogue, NamesAreCutAt259Characters) {
    PictureCatalogue catalogue;
    // Not NUL-terminated: a cut name must not be read past the cut.
    const std::vector<char> long300(300, 'L');
    catalogue.AddPicture(long300.data(), 0, 0, {});
    EXPECT_EQ(std::string(catalogue.GetName()), std::string(259, 'L'));

    const std::string exact259(259, 'E');
    catalogue.AddPicture(exact259.c_str(), 0, 0, {});
    EXPECT_EQ(std::string(catalogue.GetName()), exact259);

    catalogue.AddPicture(nullptr, 0, 0, {});
    EXPECT_STREQ(catalogue.GetName(), "");
    EXPECT_TRUE(IsConsistent(catalogue));
}

TEST(PictureCatalogue, EntryKeepsItsOwnThumbnailOrNone) {
    auto picture = DibImage::Create(160, 120, 2835);
    ASSERT_TRUE(picture);
    picture->RowFromTop(0)[0] = 0x5A;
    std::vector<std::uint8_t> block(picture->bytes().begin(), picture->bytes().end());

    PictureCatalogue catalogue;
    catalogue.AddPicture("WITH", 0, 0, block);
    // The caller's bitmap stays the caller's: changing or dropping it after the call
    // must not reach the entry.
    std::fill(block.begin(), block.end(), 0xFF);
    block.clear();
    block.shrink_to_fit();
    catalogue.AddPicture("NONE", 0, 0, {});
    const std::vector<std::uint8_t> truncated(picture->bytes().begin(), picture->bytes().end() - 1);
    catalogue.AddPicture("BROKEN", 0, 0, truncated);

    EXPECT_EQ(catalogue.count(), 3);
    EXPECT_TRUE(IsConsistent(catalogue));
    EXPECT_EQ(catalogue.GetThumbnail(), nullptr) << "a header its data does not fill";
    catalogue.Back(1);
    EXPECT_EQ(catalogue.GetThumbnail(), nullptr) << "no picture";
    catalogue.Back(1);
    const DibImage* thumbnail = catalogue.GetThumbnail();
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail, catalogue.head()->thumbnail());
    EXPECT_EQ(thumbnail->width(), 80);
    EXPECT_EQ(thumbnail->height(), 60);
    EXPECT_EQ(thumbnail->RowFromTop(0)[0], 0x5A);
}

TEST(PictureCatalogue, PictureInfoBelongsToTheCursorEntry) {
    PictureCatalogue catalogue;
    Fill(catalogue, 3);
    BitmapInfoHeader info;
    info.biWidth = 1792;
    info.biHeight = 1200;
    info.biXPelsPerMeter = info.biYPelsPerMeter = 2835;
    catalogue.Back(1);
    catalogue.SetPictureInfo(info);
    catalogue.ToFirst();
    EXPECT_EQ(catalogue.GetPictureInfo()->biWidth, 0);
    catalogue.Forward(1);
    ASSERT_NE(catalogue.GetPictureInfo(), nullptr);
    EXPECT_EQ(*catalogue.GetPictureInfo(), info);
}

TEST(PictureCatalogue, LookupThumbnailSizeFindsFirstExactNameWithoutMovingCursor) {
    PictureCatalogue catalogue;
    catalogue.AddPicture("DSC00001", 1, 11, {});
    catalogue.AddPicture("DSC00002", 2, 22, {});
    catalogue.AddPicture("DSC00001", 3, 33, {});
    catalogue.AddPicture("dsc00004", 4, 44, {});
    catalogue.Back(2);
    struct Case {
        const char* name;
        std::uint32_t expected;
    };
    for (const Case& c :
         {Case{"DSC00001", 11}, Case{"DSC00002", 22}, Case{"dsc00004", 44}, Case{"DSC00004", 0},
          Case{"DSC0000", 0}, Case{"DSC000011", 0}, Case{"", 0}, Case{nullptr, 0}}) {
        EXPECT_EQ(catalogue.LookupThumbnailSize(c.name), c.expected)
            << (c.name != nullptr ? c.name : "(null)");
        EXPECT_EQ(catalogue.position(), 2);
        EXPECT_STREQ(catalogue.GetName(), "DSC00002");
    }
}

TEST(PictureCatalogue, RemoveCurrentMovesCursorToFollowerOrNewTail) {
    struct Case {
        int count;
        int position;
        Strings remaining;
        int expectedPosition;
        std::string expectedCursor;
    };
    const Case cases[] = {
        {1, 1, {}, 0, "(none)"},
        {3, 1, {"P2", "P3"}, 1, "P2"},
        {5, 3, {"P1", "P2", "P4", "P5"}, 3, "P4"},
        {5, 5, {"P1", "P2", "P3", "P4"}, 4, "P4"},
        {2, 2, {"P1"}, 1, "P1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("remove " + std::to_string(c.position) + " of " + std::to_string(c.count));
        PictureCatalogue catalogue;
        FillAt(catalogue, c.count, c.position);
        EXPECT_TRUE(catalogue.RemoveCurrent());
        EXPECT_TRUE(IsConsistent(catalogue));
        EXPECT_EQ(Names(catalogue), c.remaining);
        EXPECT_EQ(catalogue.position(), c.expectedPosition);
        EXPECT_EQ(CursorName(catalogue), c.expectedCursor);
    }
}

TEST(PictureCatalogue, RemoveCurrentUntilEmptyThenReuse) {
    PictureCatalogue catalogue;
    FillAt(catalogue, 4, 2);
    for (int removed = 1; removed <= 4; ++removed) {
        EXPECT_TRUE(catalogue.RemoveCurrent());
        ASSERT_TRUE(IsConsistent(catalogue)) << "after removing " << removed;
        EXPECT_EQ(catalogue.count(), 4 - removed);
    }
    EXPECT_FALSE(catalogue.RemoveCurrent());

    catalogue.AddPicture("AGAIN", 0, 0, {});
    EXPECT_TRUE(IsConsistent(catalogue));
    EXPECT_EQ(catalogue.head(), catalogue.tail());
}

TEST(PictureCatalogue, RemoveAllEmptiesAndCatalogueIsReusable) {
    PictureCatalogue catalogue;
    FillAt(catalogue, 6, 4);
    catalogue.SelectAll();
    EXPECT_TRUE(catalogue.RemoveAll());
    EXPECT_TRUE(IsConsistent(catalogue));
    EXPECT_EQ(catalogue.count(), 0);
    Fill(catalogue, 2);
    EXPECT_TRUE(IsConsistent(catalogue));
    EXPECT_EQ(Names(catalogue), (Strings{"P1", "P2"}));
    EXPECT_EQ(catalogue.CountSelected(), 0);
}

TEST(PictureCatalogue, RemoveSelectedKeepsOrMovesCursorToNearestSurvivor) {
    struct Case {
        const char* what;
        int count;
        std::vector<int> selected;  // 1-based
        int position;
        bool result;
        Strings remaining;
        std::string expectedCursor;
        int expectedPosition;
    };
    const Case cases[] = {
        {"cursor selected in the middle",
         7,
         {3, 4},
         3,
         true,
         {"P1", "P2", "P5", "P6", "P7"},
         "P5",
         3},
        {"cursor survives", 5, {1, 2}, 4, true, {"P3", "P4", "P5"}, "P4", 2},
        {"cursor and all after it selected", 5, {3, 4, 5}, 4, true, {"P1", "P2"}, "P2", 2},
        {"selected head with selected follower", 3, {1, 2}, 1, true, {"P3"}, "P3", 1},
        {"scattered, cursor selected", 8, {2, 4, 5, 7}, 4, true, {"P1", "P3", "P6", "P8"}, "P6", 3},
        {"everything", 4, {1, 2, 3, 4}, 2, true, {}, "(none)", 0},
        {"nothing", 3, {}, 2, false, {"P1", "P2", "P3"}, "P2", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PictureCatalogue catalogue;
        Fill(catalogue, c.count);
        for (int index : c.selected)
            catalogue.SelectRange(index - 1, index - 1);
        catalogue.ToFirst();
        catalogue.Forward(static_cast<unsigned>(c.position - 1));
        EXPECT_EQ(catalogue.RemoveSelected(), c.result);
        EXPECT_TRUE(IsConsistent(catalogue));
        EXPECT_EQ(Names(catalogue), c.remaining);
        EXPECT_EQ(CursorName(catalogue), c.expectedCursor);
        EXPECT_EQ(catalogue.position(), c.expectedPosition);
        EXPECT_EQ(catalogue.CountSelected(), 0);
    }
}

TEST(PictureCatalogue, ForwardAndBackUseLow8BitsAndStayInsideTheList) {
    enum class Move { kForward, kBack };
    struct Case {
        const char* what;
        int count;
        int start;
        Move move;
        unsigned n;
        bool result;
        int expectedPosition;
    };
    const Case cases[] = {
        {"forward within", 5, 3, Move::kForward, 2, true, 5},
        {"forward one short", 5, 3, Move::kForward, 3, false, 3},
        {"forward at the tail", 5, 5, Move::kForward, 1, false, 5},
        {"forward 0", 5, 2, Move::kForward, 0, true, 2},
        {"forward 259 moves 3", 10, 1, Move::kForward, 259, true, 4},
        {"forward 256 moves 0", 10, 6, Move::kForward, 256, true, 6},
        {"forward 255 runs off", 10, 1, Move::kForward, 255, false, 1},
        {"back within", 5, 5, Move::kBack, 2, true, 3},
        {"back stops at head", 5, 3, Move::kBack, 8, true, 1},
        {"back at head", 5, 1, Move::kBack, 3, true, 1},
        {"back 0", 5, 4, Move::kBack, 0, true, 4},
        {"back 258 moves 2", 5, 5, Move::kBack, 258, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PictureCatalogue catalogue;
        FillAt(catalogue, c.count, c.start);
        ASSERT_EQ(catalogue.position(), c.start);
        const bool result = c.move == Move::kForward ? catalogue.Forward(c.n) : catalogue.Back(c.n);
        EXPECT_EQ(result, c.result);
        EXPECT_TRUE(IsConsistent(catalogue));
        EXPECT_EQ(catalogue.position(), c.expectedPosition);
        EXPECT_EQ(CursorName(catalogue), std::string("P") + std::to_string(c.expectedPosition));
    }
}

TEST(PictureCatalogue, ToFirstAnswersFalseWhenAlreadyAtHead) {
    PictureCatalogue catalogue;
    FillAt(catalogue, 4, 1);
    EXPECT_FALSE(catalogue.ToFirst());
    EXPECT_EQ(catalogue.position(), 1);
    catalogue.Forward(2);
    EXPECT_TRUE(catalogue.ToFirst());
    EXPECT_EQ(catalogue.position(), 1);
    EXPECT_EQ(catalogue.cursor(), catalogue.head());
}

TEST(PictureCatalogue, SelectionWalkVisitsSelectedEntriesInOrder) {
    PictureCatalogue catalogue;
    Fill(catalogue, 7);
    catalogue.SelectRange(1, 1);
    catalogue.SelectRange(4, 4);
    catalogue.SelectRange(6, 6);

    // From position 2 with 3 and 4 unselected, the next selected is 5.
    catalogue.ToFirst();
    catalogue.Forward(1);
    EXPECT_TRUE(catalogue.ToNextSelected());
    EXPECT_EQ(catalogue.position(), 5);
    EXPECT_EQ(CursorName(catalogue), "P5");

    // The walk the save, delete and hand-off code performs.
    const std::int32_t total = catalogue.CountSelected();
    ASSERT_EQ(total, 3);
    Strings visited;
    ASSERT_TRUE(catalogue.ToFirstSelected());
    visited.push_back(CursorName(catalogue));
    EXPECT_EQ(catalogue.position(), 2);
    for (int i = 1; i < total; ++i) {
        ASSERT_TRUE(catalogue.ToNextSelected());
        EXPECT_TRUE(IsConsistent(catalogue));
        visited.push_back(CursorName(catalogue));
    }
    EXPECT_EQ(visited, (Strings{"P2", "P5", "P7"}));
    EXPECT_FALSE(catalogue.ToNextSelected());
    EXPECT_EQ(catalogue.position(), 7);

    catalogue.ClearSelection();
    catalogue.ToFirst();
    catalogue.Forward(3);
    EXPECT_FALSE(catalogue.ToFirstSelected());
    EXPECT_EQ(catalogue.position(), 4);
}

TEST(PictureCatalogue, MarksRelativeToCursorEndWithTheList) {
    PictureCatalogue catalogue;
    FillAt(catalogue, 6, 2);
    catalogue.ToggleSelectedAt(0);
    catalogue.ToggleSelectedAt(2);
    catalogue.ToggleSelectedAt(2);
    catalogue.ToggleSelectedAt(4);
    EXPECT_EQ(Marked(catalogue), (std::vector<int>{2, 6}));
    // Five entries from the cursor: offsets 5 to 8 lie past the tail.
    catalogue.ToggleSelectedAt(5);
    EXPECT_EQ(Marked(catalogue), (std::vector<int>{2, 6}));

    catalogue.SelectAll();
    std::vector<std::uint32_t> marks;
    for (unsigned offset = 0; offset <= 8; ++offset)
        marks.push_back(catalogue.IsSelectedAt(offset));
    EXPECT_EQ(marks, (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 0, 0, 0, 0}));
    // Offsets are 8-bit: 257 is offset 1.
    catalogue.ToggleSelectedAt(257);
    EXPECT_EQ(catalogue.IsSelectedAt(1), 0u);
    EXPECT_EQ(catalogue.IsSelectedAt(257), 0u);
    EXPECT_EQ(catalogue.CountSelected(), 5);
    EXPECT_TRUE(IsConsistent(catalogue));
}

TEST(PictureCatalogue, SelectRangeMarksIndexesFromHeadUpToTail) {
    struct Case {
        unsigned first;
        unsigned last;
        std::vector<int> marked;  // 1-based
    };
    const Case cases[] = {
        {4, 2, {}},          {0, 200, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {2, 4, {3, 4, 5}},   {9, 9, {10}},
        {10, 12, {}},        {257, 3, {2, 3, 4}},  // first is 1 in 8 bits
        {0, 258, {1, 2, 3}},                       // last is 2 in 8 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
        PictureCatalogue catalogue;
        FillAt(catalogue, 10, 7);
        catalogue.SelectRange(c.first, c.last);
        EXPECT_EQ(Marked(catalogue), c.marked);
        EXPECT_EQ(catalogue.CountSelected(), static_cast<std::int32_t>(c.marked.size()));
        EXPECT_EQ(catalogue.position(), 7);
    }
}

TEST(PictureCatalogue, SelectRangeAddsToExistingMarks) {
    PictureCatalogue catalogue;
    Fill(catalogue, 5);
    catalogue.SelectRange(0, 0);
    catalogue.SelectRange(3, 4);
    EXPECT_EQ(Marked(catalogue), (std::vector<int>{1, 4, 5}));
    catalogue.ClearSelection();
    EXPECT_EQ(catalogue.CountSelected(), 0);
    catalogue.SelectAll();
    EXPECT_EQ(catalogue.CountSelected(), 5);
}

}  // namespace
}  // namespace vx
