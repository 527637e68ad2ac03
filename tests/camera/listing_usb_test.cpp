// Listing over USB: the directory length decides how many 512-byte blocks are read,
// every record becomes a node, and the catalogue is cleared once the camera answers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::CardOf;
using testing::Describe;
using ::testing::ElementsAre;
using testing::Names;
using testing::Rig;
namespace vc = vx::virtualcam;

std::vector<std::string> DirBlockRequests(const Rig& rig) {
    std::vector<std::string> out;
    for (const std::string& s : Describe(rig.camera.usb.calls())) {
        if (s.rfind("Escape 1003", 0) == 0)
            out.push_back(s);
    }
    return out;
}

TEST(ListPicturesUsb, ReadsTheBlocksTheDirectoryLengthCovers) {
    const struct {
        std::uint32_t length;
        std::size_t blocks;
    } cases[] = {{0, 0},   {12, 0},  {13, 1},   {512, 1}, {524, 1},
                 {525, 2}, {544, 2}, {1036, 2}, {1037, 3}};
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(60, 100);
        rig.camera.usbFaults.directoryLength = c.length;
        rig.OpenUsb();
        PictureList list;
        const std::int32_t count = rig.link->ListPicturesUsb(list);
        const auto requests = DirBlockRequests(rig);
        ASSERT_EQ(requests.size(), c.blocks) << "length " << c.length;
        for (std::size_t b = 0; b < c.blocks; ++b) {
            EXPECT_EQ(requests[b], "Escape 1003 @" + std::to_string(512 * b) + "+512")
                << "length " << c.length;
        }
        EXPECT_EQ(count, static_cast<std::int32_t>(std::min<std::size_t>(60, 25 * c.blocks)))
            << "length " << c.length;
        EXPECT_EQ(list.size(), static_cast<std::size_t>(count));
    }
}

TEST(ListPicturesUsb, ListsThirtyPicturesAcrossTwoBlocksUnderOneBracket) {
    Rig rig;
    rig.camera.card = CardOf(30, 5000);
    rig.catalogue.AddPicture("OLD", 1, 1, {});
    rig.OpenUsb();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesUsb(list), 30);
    EXPECT_THAT(Describe(rig.camera.usb.calls()),
                ElementsAre("Lock", "Subscribe", "Reset", "GetStatus", "Escape 1002",
                            "Escape 1003 @0+512", "Escape 1003 @512+512", "UnSubscribe", "Unlock"));
    ASSERT_EQ(list.size(), 30u);
    // The directory shows "ABCD0001"; the nodes never use the camera's letter.
    EXPECT_EQ(Names({list[0]}), "SBCD0001/TBCD0001:5000");
    EXPECT_EQ(Names({list[29]}), "SBCD0030/TBCD0030:5000");
    EXPECT_EQ(list[0].thumbnailReadSize, 28672u);
    EXPECT_EQ(rig.catalogue.count(), 0);
    EXPECT_TRUE(rig.camera.usb.breaches().empty());
}

TEST(ListPicturesUsb, AppendsToTheCallersList) {
    Rig rig;
    rig.camera.card = CardOf(2, 10);
    rig.OpenUsb();
    PictureList list(1);
    list[0].pictureName = MakeFileName8("SKEEP000");
    EXPECT_EQ(rig.link->ListPicturesUsb(list), 2);
    EXPECT_EQ(ToString(list[0].pictureName), "SKEEP000");
    EXPECT_EQ(list.size(), 3u);
}

TEST(ListPicturesUsb, TakesAtMostTwentyFiveRecordsFromABlock) {
    Rig rig;
    rig.camera.card = CardOf(30, 10);
    rig.camera.usbFaults.recordCount = 200;
    rig.OpenUsb();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesUsb(list), 50);
    // The second block's records past the card's 30 pictures are zero: nameless nodes.
    EXPECT_EQ(ToString(list[29].pictureName), "SBCD0030");
    EXPECT_EQ(list[30].pictureSize, 0u);
}

TEST(ListPicturesUsb, DoesNotBelieveADirectoryLongerThanAnyCard) {
    Rig rig;
    rig.camera.card = CardOf(30, 10);
    rig.camera.usbFaults.directoryLength = 0xFFFFFFFF;
    rig.OpenUsb();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesUsb(list), 30);
    EXPECT_EQ(rig.camera.usb.CountEscapes(0x1003), 2048);
}

TEST(ListPicturesUsb, AFailedBlockEscapeYieldsNoRecordsFromThatBlock) {
    Rig rig;
    rig.camera.card = CardOf(30, 10);
    rig.camera.usbFaults.dirBlockFails = vc::Fault::Once().After(1);
    rig.OpenUsb();
    PictureList list;
    // Block 0's 25 records only; the failed block 1 must not replay block 0's records.
    EXPECT_EQ(rig.link->ListPicturesUsb(list), 25);
    EXPECT_EQ(ToString(list.back().pictureName), "SBCD0025");
}

TEST(ListPicturesUsb, FailuresReturnZeroAndClearTheCatalogueOnlyOnceTheCameraAnswered) {
    const struct {
        const char* name;
        void (*arm)(Rig&);
        bool catalogueCleared;
        std::vector<std::string> calls;
    } cases[] = {
        {"no device", [](Rig& r) { r.link->ReleaseUsbCamera(); }, false, {}},
        {"busy",
         [](Rig& r) { r.camera.usbFaults.busy = vc::Fault::Once(); },
         false,
         {"Lock failed"}},
        {"status",
         [](Rig& r) { r.camera.usbFaults.statusFails = vc::Fault::Once(); },
         false,
         {"Lock", "Subscribe", "Reset", "GetStatus failed", "UnSubscribe", "Unlock"}},
        {"length",
         [](Rig& r) { r.camera.usbFaults.dirLengthFails = vc::Fault::Once(); },
         true,
         {"Lock", "Subscribe", "Reset", "GetStatus", "Escape 1002 failed", "UnSubscribe",
          "Unlock"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(3, 10);
        rig.OpenUsb();
        rig.catalogue.AddPicture("OLD", 1, 1, {});
        c.arm(rig);
        PictureList list;
        EXPECT_EQ(rig.link->ListPicturesUsb(list), 0) << c.name;
        EXPECT_TRUE(list.empty()) << c.name;
        EXPECT_EQ(rig.catalogue.count(), c.catalogueCleared ? 0 : 1) << c.name;
        EXPECT_EQ(Describe(rig.camera.usb.calls()), c.calls) << c.name;
        EXPECT_TRUE(rig.user.messages.empty()) << c.name;
    }
}

}  // namespace
}  // namespace vx
