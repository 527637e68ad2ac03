#include "dib/dib_image.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(DibImage, CreateLaysOutThePackedBlock) {
    auto image = DibImage::Create(5, 3, 2835);
    ASSERT_TRUE(image);
    // 5 pixels * 3 bytes = 15, padded to 16.
    EXPECT_EQ(image->stride(), 16u);
    ASSERT_EQ(image->bytes().size(), 40u + 3 * 16);
    const std::uint8_t expected[40] = {40,   0,    0, 0, 5, 0, 0,  0, 3, 0, 0,    0,    1, 0,
                                       24,   0,    0, 0, 0, 0, 48, 0, 0, 0, 0x13, 0x0B, 0, 0,
                                       0x13, 0x0B, 0, 0, 0, 0, 0,  0, 0, 0, 0,    0};
    EXPECT_TRUE(std::equal(expected, expected + 40, image->bytes().begin()));
    // Top row is stored last.
    EXPECT_EQ(image->RowFromTop(0), image->pixels() + 2 * 16);
    EXPECT_EQ(image->RowFromTop(2), image->pixels());
}

TEST(DibImage, CreateRefusesBadSides) {
    EXPECT_FALSE(DibImage::Create(0, 3, 0));
    EXPECT_FALSE(DibImage::Create(3, 0, 0));
    EXPECT_FALSE(DibImage::Create(-1, 3, 0));
    EXPECT_FALSE(DibImage::Create(DibImage::kMaxSide + 1, 1, 0));
}

TEST(DibImage, FromPackedValidatesHeaderAgainstData) {
    auto image = DibImage::Create(7, 2, 0);
    ASSERT_TRUE(image);
    std::vector<std::uint8_t> block(image->bytes().begin(), image->bytes().end());
    EXPECT_TRUE(DibImage::FromPacked(block));

    auto shortBlock = block;
    shortBlock.pop_back();
    EXPECT_FALSE(DibImage::FromPacked(shortBlock)) << "rows do not fit";

    struct Corruption {
        std::size_t offset;
        std::uint8_t value;
        const char* what;
    };
    for (const Corruption& c : {Corruption{0, 41, "biSize"}, Corruption{14, 8, "bit count"},
                                Corruption{16, 1, "compression"}, Corruption{4, 0, "width 0"},
                                Corruption{11, 0xFF, "top-down height"}}) {
        auto bad = block;
        bad[c.offset] = c.value;
        EXPECT_FALSE(DibImage::FromPacked(bad)) << c.what;
    }
}

}  // namespace
}  // namespace vx
