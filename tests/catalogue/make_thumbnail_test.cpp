#include "catalogue/make_thumbnail.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vx {
namespace {

// A source whose every pixel tells its own place: blue = column, green = row (low
// bytes), red = their high nibbles. Row padding is filled with 0xEE so that a copy of
// padding into the thumbnail shows.
std::vector<std::uint8_t> CoordinateSource(std::int32_t width, std::int32_t height) {
    auto image = DibImage::Create(width, height, 2835);
    EXPECT_TRUE(image);
    for (std::int32_t r = 0; r < height; ++r) {
        std::uint8_t* row = image->RowFromTop(r);
        for (std::int32_t c = 0; c < width; ++c) {
            row[3 * c] = static_cast<std::uint8_t>(c);
            row[3 * c + 1] = static_cast<std::uint8_t>(r);
            row[3 * c + 2] = static_cast<std::uint8_t>(((r >> 8) << 4) | (c >> 8));
        }
        for (std::uint32_t b = 3 * static_cast<std::uint32_t>(width); b < image->stride(); ++b) {
            row[b] = 0xEE;
        }
    }
    return {image->bytes().begin(), image->bytes().end()};
}

TEST(MakeThumbnail, ReducesByOneFactorAndSamplesFromTopLeft) {
    struct Case {
        std::int32_t W, H;
        std::int32_t e;
        std::int32_t w, h;
        std::uint32_t rowLength;
    };
    const Case cases[] = {
        {160, 120, 2, 80, 60, 240}, {80, 60, 1, 80, 60, 240},
        {640, 480, 7, 91, 68, 276}, {1792, 1200, 20, 89, 60, 268},
        {120, 160, 3, 40, 53, 120}, {94, 70, 1, 94, 70, 284},
        {95, 70, 2, 47, 35, 144},   {1, 1, 1, 1, 1, 4},
        {189, 140, 3, 63, 46, 192},  // 70 x 189 / 140 is exactly 94: the width decides
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H));
        const std::vector<std::uint8_t> source = CoordinateSource(c.W, c.H);
        std::optional<DibImage> thumbnail = MakeThumbnail(source);
        ASSERT_TRUE(thumbnail);

        const BitmapInfoHeader h = thumbnail->header();
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biWidth, c.w);
        EXPECT_EQ(h.biHeight, c.h);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biBitCount, 24);
        EXPECT_EQ(h.biCompression, 0u);
        EXPECT_EQ(h.biSizeImage, static_cast<std::uint32_t>(c.h) * c.rowLength);
        EXPECT_EQ(h.biXPelsPerMeter, 0);
        EXPECT_EQ(h.biYPelsPerMeter, 0);
        EXPECT_EQ(h.biClrUsed, 0u);
        EXPECT_EQ(h.biClrImportant, 0u);
        EXPECT_EQ(thumbnail->stride(), c.rowLength);
        ASSERT_EQ(thumbnail->bytes().size(), 40u + h.biSizeImage);

        int wrongPixels = 0;
        int dirtyPadding = 0;
        for (std::int32_t r = 0; r < c.h; ++r) {
            const std::uint8_t* row = thumbnail->RowFromTop(r);
            for (std::int32_t col = 0; col < c.w; ++col) {
                const std::int32_t sr = r * c.e;
                const std::int32_t sc = col * c.e;
                if (row[3 * col] != static_cast<std::uint8_t>(sc) ||
                    row[3 * col + 1] != static_cast<std::uint8_t>(sr) ||
                    row[3 * col + 2] != static_cast<std::uint8_t>(((sr >> 8) << 4) | (sc >> 8))) {
                    ++wrongPixels;
                }
            }
            for (std::uint32_t b = 3 * static_cast<std::uint32_t>(c.w); b < c.rowLength; ++b) {
                if (row[b] != 0)
                    ++dirtyPadding;
            }
        }
        EXPECT_EQ(wrongPixels, 0);
        EXPECT_EQ(dirtyPadding, 0);
    }
}

TEST(MakeThumbnail, AcceptsBlockLongerThanItsRows) {
    // Global memory blocks may come back rounded up; the surplus is not picture.
    std::vector<std::uint8_t> source = CoordinateSource(160, 120);
    source.resize(source.size() + 16, 0xAB);
    std::optional<DibImage> thumbnail = MakeThumbnail(source);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width(), 80);
}

TEST(MakeThumbnail, RefusesWhatIsNotAUsableBottomUpPicture) {
    const std::vector<std::uint8_t> valid = CoordinateSource(160, 120);
    ASSERT_TRUE(MakeThumbnail(valid));

    struct Case {
        const char* what;
        std::size_t offset;  // byte of the header to overwrite
        std::vector<std::uint8_t> value;
    };
    const Case cases[] = {
        {"biSize 41", 0, {41}},
        {"width 0", 4, {0}},
        {"height 0", 8, {0}},
        {"top-down height -120", 8, {0x88, 0xFF, 0xFF, 0xFF}},
        {"two planes", 12, {2}},
        {"32 bits per pixel", 14, {32}},
        {"compressed", 16, {1}},
        {"height 121 overruns the data", 8, {121}},
        {"width 2^31-1 overruns the data", 4, {0xFF, 0xFF, 0xFF, 0x7F}},
        {"both sides 2^31-1", 4, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bad = valid;
        std::copy(c.value.begin(), c.value.end(), bad.begin() + static_cast<long>(c.offset));
        EXPECT_FALSE(MakeThumbnail(bad)) << c.what;
    }

    EXPECT_FALSE(MakeThumbnail({})) << "no block";
    EXPECT_FALSE(MakeThumbnail(std::span(valid).first(39))) << "short header";
    EXPECT_FALSE(MakeThumbnail(std::span(valid).first(valid.size() - 1))) << "last byte missing";
    // 16 x 1200 reduces by 18 to 0 x 66: no bitmap at all.
    EXPECT_FALSE(MakeThumbnail(CoordinateSource(16, 1200))) << "sliver";
}

}  // namespace
}  // namespace vx
