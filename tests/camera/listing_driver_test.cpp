// The download command's listing: USB retries with their pauses and the four-line
// message, serial once, nothing without a link.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::CardOf;
using ::testing::ElementsAre;
using testing::Rig;
namespace vc = vx::virtualcam;

const char kFourLines[] =
    "1.Please restart your computer.\n2.Not find image from your digital camera.\n"
    "3.Makesure your CF card have picture.\n4.Reset and plug it again.";

TEST(ListPictures, RetriesUsbInThreePassesOfThreeWithPauses) {
    const struct {
        int busy;  // attempts that find the camera busy before it answers
        int attempts;
        int pauses;
        bool message;
    } cases[] = {
        {0, 1, 1, false}, {2, 3, 3, false}, {3, 4, 5, false}, {8, 9, 11, false}, {9, 9, 12, true}};
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(2, 10);
        rig.OpenUsb();
        rig.camera.usbFaults.busy = vc::Fault::Times(c.busy);
        PictureList list;
        EXPECT_EQ(rig.link->ListPictures(list), c.message ? 0 : 2) << c.busy;
        int locks = 0;
        for (const auto& call : rig.camera.usb.calls())
            locks += call.kind == vc::UsbCall::Kind::Lock;
        EXPECT_EQ(locks, c.attempts) << c.busy;
        EXPECT_EQ(rig.clock.sleeps(),
                  std::vector<std::chrono::milliseconds>(c.pauses, std::chrono::milliseconds(300)))
            << c.busy;
        EXPECT_EQ(rig.user.messages,
                  c.message ? std::vector<std::string>{kFourLines} : std::vector<std::string>{})
            << c.busy;
    }
}

TEST(ListPictures, AnEmptyUsbCardTakesNineAttemptsAndTwelvePauses) {
    Rig rig;
    rig.OpenUsb();
    PictureList list;
    EXPECT_EQ(rig.link->ListPictures(list), 0);
    EXPECT_EQ(rig.camera.usb.CountEscapes(0x1002), 9);
    EXPECT_EQ(rig.camera.usb.CountEscapes(0x1003), 0);
    EXPECT_EQ(rig.clock.sleeps().size(), 12u);
    EXPECT_THAT(rig.user.messages, ElementsAre(kFourLines));
}

TEST(ListPictures, SerialListsOnceAndNoLinkListsNothing) {
    Rig rig;
    rig.OpenSerial();
    rig.camera.serialFaults.badStatus = vc::Fault::Once();
    PictureList list;
    EXPECT_EQ(rig.link->ListPictures(list), 0);
    EXPECT_EQ(rig.camera.serial.commands().back(), 0xC1);
    EXPECT_EQ(rig.ports.log("COM1").written.size(), 1u);
    EXPECT_TRUE(rig.clock.sleeps().empty());
    EXPECT_THAT(rig.user.messages, ElementsAre("Can't find compact flash card!"));

    Rig none;
    none.catalogue.AddPicture("OLD", 1, 1, {});
    EXPECT_EQ(none.link->ListPictures(list), 0);
    EXPECT_TRUE(none.user.messages.empty());
    EXPECT_EQ(none.catalogue.count(), 1);
}

}  // namespace
}  // namespace vx
