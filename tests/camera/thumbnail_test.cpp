// From downloads to pictures: thumbnails into the catalogue over both transports, the
// nominal picture size, corrupted thumbnails, and decoding for hand-off and from files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jpeg/jpeg_decoder.h"
#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using testing::CardOf;
using ::testing::ElementsAre;
using testing::ReadFixture;
using testing::Rig;
namespace vc = vx::virtualcam;

PictureNode Node(int i, std::uint32_t pictureSize) {
    PictureNode n;
    n.pictureName = MakeFileName8("S" + testing::Key(i));
    n.thumbnailName = MakeFileName8("T" + testing::Key(i));
    n.pictureSize = pictureSize;
    n.thumbnailReadSize = THUMBNAIL_READ_SIZE;
    return n;
}

TEST(FetchThumbnail, AddsTheDecodedThumbnailWithTheNominalPictureSize) {
    for (const bool serial : {false, true}) {
        Rig rig;
        rig.camera.card = CardOf(2, 5000, ReadFixture("thumb_160x120.jpg"));
        serial ? rig.OpenSerial() : rig.OpenUsb();
        EXPECT_FALSE(rig.link->FetchThumbnail(Node(2, 5000))) << serial;
        ASSERT_EQ(rig.catalogue.count(), 1) << serial;
        const PictureEntry& entry = *rig.catalogue.cursor();
        EXPECT_STREQ(entry.name(), "SBCD0002");
        EXPECT_EQ(entry.pictureSize(), 5000u);
        EXPECT_EQ(entry.thumbnailSize(), 28672u);
        EXPECT_EQ(entry.pictureInfo().biWidth, 1792);
        EXPECT_EQ(entry.pictureInfo().biHeight, 1200);
        EXPECT_EQ(entry.pictureInfo().biXPelsPerMeter, 2835);
        ASSERT_NE(entry.thumbnail(), nullptr);
        EXPECT_EQ(entry.thumbnail()->width(), 80);
        EXPECT_EQ(entry.thumbnail()->height(), 60);
        if (serial) {
            const Bytes& written = rig.ports.log("COM1").written;
            const Bytes select = {0xC2, 'T', 'B', 'C', 'D', '0', '0', '0', '2', 'J', 'P', 'G', ' '};
            EXPECT_TRUE(std::equal(select.begin(), select.end(), written.begin()));
            EXPECT_EQ(std::count(written.begin(), written.end(), 0xC4), 56);
        } else {
            EXPECT_EQ(rig.camera.usb.CountEscapes(0x1004), 7);
        }
    }
}

TEST(FetchThumbnail, ReportsAThumbnailThatDoesNotDecodeAndAddsNothing) {
    Rig rig;
    rig.camera.card = CardOf(1, 5000, ReadFixture("thumb_160x120.jpg"));
    // The same stream one byte further on.
    Bytes shifted(28672, 0);
    const Bytes jpeg = ReadFixture("thumb_160x120.jpg");
    std::copy(jpeg.begin(), jpeg.end(), shifted.begin() + 2124);
    rig.camera.card.AddPicture("XYZ0002", testing::Pattern(100), shifted);
    rig.OpenUsb();
    PictureNode node = Node(1, 5000);
    node.pictureName = MakeFileName8("SXYZ0002");
    node.thumbnailName = MakeFileName8("TXYZ0002");
    EXPECT_TRUE(rig.link->FetchThumbnail(node));
    EXPECT_EQ(rig.catalogue.count(), 0);
}

TEST(FetchThumbnail, AddsNothingWhenTheThumbnailCannotBeFetched) {
    Rig rig;
    rig.camera.card = CardOf(1, 5000, ReadFixture("thumb_160x120.jpg"));
    rig.OpenUsb();
    EXPECT_FALSE(rig.link->FetchThumbnail(Node(9, 5000)));  // no such file
    rig.link->CloseSerialPort();
    Rig none;
    EXPECT_FALSE(none.link->FetchThumbnail(Node(1, 5000)));
    EXPECT_EQ(rig.catalogue.count() + none.catalogue.count(), 0);
}

TEST(DecodeDownload, RefusesThumbnailReadsTooShortToHoldAStream) {
    Rig rig;
    const Bytes data(2124, 0xFF);
    EXPECT_FALSE(rig.link->DecodeDownload(data.data(), 5000, 2124, "SBCD0001", true, nullptr));
    EXPECT_FALSE(rig.link->DecodeDownload(nullptr, 5000, 28672, "SBCD0001", true, nullptr));
    EXPECT_EQ(rig.catalogue.count(), 0);
    EXPECT_TRUE(rig.user.messages.empty());
}

TEST(DecodeDownload, HandsOutThePictureAndGivesTheEntryItsRealHeader) {
    Rig rig;
    const Bytes thumb = vc::Card::MakeThumbnailFile(ReadFixture("thumb_160x120.jpg"));
    ASSERT_TRUE(rig.link->DecodeDownload(thumb.data(), 5000, 28672, "SBCD0001", true, nullptr));
    ASSERT_EQ(rig.catalogue.GetPictureInfo()->biWidth, 1792);

    const Bytes picture = ReadFixture("picture_64x48.jpg");
    DibImage out;
    ASSERT_TRUE(rig.link->DecodeDownload(picture.data(), static_cast<std::uint32_t>(picture.size()),
                                         static_cast<std::uint32_t>(picture.size()), "SBCD0001",
                                         false, &out));
    JpegDecoder reference;
    const std::uint8_t* pixels =
        reference.DecodeMemory(picture.data(), static_cast<std::uint32_t>(picture.size()));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(out.header(), reference.header());
    EXPECT_TRUE(std::equal(out.pixels(), out.pixels() + reference.header().biSizeImage, pixels));
    EXPECT_EQ(*rig.catalogue.GetPictureInfo(), reference.header());
    EXPECT_EQ(rig.catalogue.count(), 1);
}

TEST(DecodeDownload, DecodesAFileOrSaysTheFileIsUnreadable) {
    Rig rig;
    const std::string path = std::string(VX_CAMERA_FIXTURES) + "/picture_64x48.jpg";
    ASSERT_TRUE(rig.link->DecodeDownload(nullptr, 0, 0, path, true, nullptr));
    ASSERT_EQ(rig.catalogue.count(), 1);
    EXPECT_EQ(rig.catalogue.cursor()->name(), path);
    // A folder picture keeps its real size.
    EXPECT_EQ(rig.catalogue.GetPictureInfo()->biWidth, 64);
    EXPECT_EQ(rig.catalogue.cursor()->thumbnailSize(), 0u);

    EXPECT_FALSE(rig.link->DecodeDownload(nullptr, 0, 0, path + ".missing", true, nullptr));
    EXPECT_THAT(rig.user.messages, ElementsAre("JPEG File format error!"));
    EXPECT_EQ(rig.catalogue.count(), 1);
}

}  // namespace
}  // namespace vx
