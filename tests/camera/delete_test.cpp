// Deleting pictures on the camera over both transports.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using testing::CardOf;
using testing::Describe;
using ::testing::ElementsAre;
using testing::Rig;
namespace vc = vx::virtualcam;

TEST(DeletePictureUsb, SendsTheDeleteEscapeInsideTheShortBracket) {
    Rig rig;
    rig.camera.card = CardOf(2, 100);
    rig.OpenUsb();
    EXPECT_TRUE(rig.link->DeletePictureUsb("SBCD0001"));
    EXPECT_THAT(Describe(rig.camera.usb.calls()),
                ElementsAre("Lock", "Escape 1010 @0+0 SBCD0001", "Unlock"));
    const Bytes expected = {0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
                            'S', 'B', 'C', 'D', '0', '0', '0', '1', 'J', 'P', 'G', 0};
    EXPECT_EQ(rig.camera.usb.calls()[1].input, expected);
    EXPECT_EQ(rig.camera.usb.calls()[1].outputSize, 4u);
    EXPECT_EQ(rig.camera.card.Find("SBCD0001.JPG"), nullptr);
    EXPECT_EQ(rig.camera.card.Find("TBCD0001.JPG"), nullptr);
    EXPECT_NE(rig.camera.card.Find("SBCD0002.JPG"), nullptr);
}

TEST(DeletePictureUsb, FailsWhenTheCameraRefusesOrIsBusy) {
    const struct {
        const char* name;
        void (*arm)(vc::UsbFaults&);
        std::vector<std::string> calls;
    } cases[] = {
        {"refused",
         [](vc::UsbFaults& f) { f.deleteFails = vc::Fault::Once(); },
         {"Lock", "Escape 1010 @0+0 SBCD0001 failed", "Unlock"}},
        {"busy", [](vc::UsbFaults& f) { f.busy = vc::Fault::Once(); }, {"Lock failed"}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(1, 100);
        rig.OpenUsb();
        c.arm(rig.camera.usbFaults);
        EXPECT_FALSE(rig.link->DeletePictureUsb("SBCD0001")) << c.name;
        EXPECT_EQ(Describe(rig.camera.usb.calls()), c.calls) << c.name;
        EXPECT_NE(rig.camera.card.Find("SBCD0001.JPG"), nullptr) << c.name;
    }
}

TEST(DeletePictureSerial, DeletesTheCursorEntryAndCountsCardErrorsAsDone) {
    const struct {
        const char* name;
        void (*arm)(vc::SerialFaults&);
        bool result;
        std::vector<std::string> messages;
        bool gone;
    } cases[] = {
        {"deleted", [](vc::SerialFaults&) {}, true, {}, true},
        {"no card",
         [](vc::SerialFaults& f) {
             f.badStatus = vc::Fault::Once().OnCommand(0xC3);
             f.status = 0xE1;
         },
         true,
         {"Can't find compact flash card!"},
         false},
        {"unknown status",
         [](vc::SerialFaults& f) {
             f.badStatus = vc::Fault::Once().OnCommand(0xC3);
             f.status = 0x42;
         },
         true,
         {},
         false},
        {"no acknowledgement",
         [](vc::SerialFaults& f) { f.silent = vc::Fault::Once().OnCommand(0xC3); },
         false,
         {},
         true},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(2, 100);
        rig.OpenSerial();
        rig.catalogue.AddPicture("SBCD0001", 100, 28672, {});
        rig.catalogue.AddPicture("SBCD0002", 100, 28672, {});
        rig.catalogue.ToFirst();
        c.arm(rig.camera.serialFaults);
        EXPECT_EQ(rig.link->DeletePictureSerial(), c.result) << c.name;
        EXPECT_EQ(rig.user.messages, c.messages) << c.name;
        const Bytes expected = {0xC2, 'S', 'B', 'C', 'D', '0', '0',
                                '0',  '1', 'J', 'P', 'G', ' ', 0xC3};
        EXPECT_EQ(rig.ports.log("COM1").written, expected) << c.name;
        EXPECT_EQ(rig.camera.card.Find("SBCD0001.JPG") == nullptr, c.gone) << c.name;
    }
}

TEST(DeletePictureSerial, DoesNothingWithoutACursorEntry) {
    Rig rig;
    rig.OpenSerial();
    EXPECT_FALSE(rig.link->DeletePictureSerial());
    EXPECT_TRUE(rig.ports.log("COM1").written.empty());
}

}  // namespace
}  // namespace vx
