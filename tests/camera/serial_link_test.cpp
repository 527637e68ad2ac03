// Opening the serial transport: line settings, the probe, COM1 before COM2, and the
// start-up choice between the two transports.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using ::testing::ElementsAre;
using testing::Rig;
namespace vc = vx::virtualcam;

TEST(OpenSerialPort, SetsTheLineThenProbesWithOneByteEachWay) {
    Rig rig;
    rig.ports.Attach("COM1", &rig.camera.serial);
    auto port = rig.link->OpenSerialPort("COM1");
    ASSERT_NE(port, nullptr);
    const vc::PortLog& log = rig.ports.log("COM1");
    EXPECT_THAT(log.settingsWritten, ElementsAre(LineSettings{115200, 8, 0, 2}));
    EXPECT_EQ(log.written, Bytes{0xB1});
    EXPECT_EQ(log.received, Bytes{0xD1});
    EXPECT_THAT(log.writeTimeouts, ElementsAre(WriteTimeouts{10, 500}));
    EXPECT_THAT(log.readTimeouts, ElementsAre(ReadTimeouts{0, 10, 500}));
}

TEST(OpenSerialLink, FallsBackToCom2WhenCom1DoesNotAnswerTheProbeRight) {
    const struct {
        const char* name;
        void (*arm)(vc::SerialFaults&);
    } cases[] = {
        {"no answer", [](vc::SerialFaults& f) { f.noProbeAnswer = vc::Fault::Always(); }},
        {"wrong answer", [](vc::SerialFaults& f) { f.wrongProbeAnswer = vc::Fault::Always(); }},
        {"answer after 510 ms",
         [](vc::SerialFaults& f) {
             f.late = vc::Fault::Always();
             f.lateMs = 511;
         }},
    };
    for (const auto& c : cases) {
        Rig rig;
        vc::VirtualCamera other;  // the device on COM1
        c.arm(other.serialFaults);
        rig.ports.Attach("COM1", &other.serial);
        rig.ports.Attach("COM2", &rig.camera.serial);
        rig.sti.devices.clear();
        rig.link->OpenSerialLink();
        EXPECT_EQ(rig.link->mode(), LinkMode::Serial) << c.name;
        EXPECT_EQ(rig.link->portName(), "COM2") << c.name;
        EXPECT_FALSE(rig.ports.isOpen("COM1")) << c.name;
        EXPECT_TRUE(rig.ports.isOpen("COM2")) << c.name;
        EXPECT_EQ(rig.ports.log("COM1").written, Bytes{0xB1}) << c.name;
        EXPECT_THAT(rig.user.buttons, ElementsAre("serial pushed")) << c.name;
    }
}

TEST(OpenSerialLink, TakesAProbeAnswerThatComesWithinTheTimeOut) {
    Rig rig;
    rig.camera.serialFaults.late = vc::Fault::Always();
    rig.camera.serialFaults.lateMs = 509;
    rig.OpenSerial("COM1");
    EXPECT_EQ(rig.link->mode(), LinkMode::Serial);
    EXPECT_EQ(rig.link->portName(), "COM1");
}

TEST(OpenSerialLink, WithNoCameraOnEitherPortClosesBothAndKeepsTheMode) {
    Rig rig;
    rig.ports.Attach("COM1", nullptr);  // a port with nothing behind it
    rig.ports.Attach("COM2", &rig.camera.serial);
    rig.ports.FailLineSettings("COM2");
    rig.camera.card = testing::CardOf(1, 100);
    rig.OpenUsb();
    rig.link->OpenSerialLink();
    EXPECT_EQ(rig.link->mode(), LinkMode::Usb);
    EXPECT_FALSE(rig.link->portOpen());
    EXPECT_FALSE(rig.ports.isOpen("COM1"));
    EXPECT_FALSE(rig.ports.isOpen("COM2"));
    EXPECT_EQ(rig.link->portName(), "COM2");
    EXPECT_THAT(rig.user.messages, ElementsAre("Can't find DSC on the COM1 and COM2!"));
    EXPECT_THAT(rig.user.buttons, ElementsAre("serial released", "repaint usb"));
    // The USB link still works.
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesUsb(list), 1);
}

TEST(OpenSerialLink, DoesNothingWhileThePortIsOpen) {
    Rig rig;
    rig.OpenSerial("COM2");
    rig.link->OpenSerialLink();
    EXPECT_TRUE(rig.ports.log("COM2").written.empty());
    EXPECT_EQ(rig.ports.log("COM2").opens, 0);
    EXPECT_EQ(rig.link->portName(), "COM2");
}

TEST(StartUpLinkChoice, PrefersUsbThenSerialElseShowsOnlyTheStartUpMessage) {
    const std::string startUp =
        "Can not find digital camera!\nTIP:\n(1)Please restart your computer.\n"
        "(2)Check if digital camera is powered on already.\n"
        "(3)Check if the USB cable is connected properly.\n"
        "(4)Turn off camera. Reset and plug it again.";
    const struct {
        const char* name;
        bool usb;
        bool serial;
        LinkMode mode;
    } cases[] = {{"both", true, true, LinkMode::Usb},
                 {"serial only", false, true, LinkMode::Serial},
                 {"none", false, false, LinkMode::None}};
    for (const auto& c : cases) {
        Rig rig;
        if (!c.usb)
            rig.sti.devices.clear();
        rig.ports.Attach("COM1", nullptr);
        rig.ports.Attach("COM2", c.serial ? &rig.camera.serial : nullptr);
        EXPECT_EQ(rig.link->ChooseLinkAtStartUp(), c.mode != LinkMode::None) << c.name;
        EXPECT_EQ(rig.link->mode(), c.mode) << c.name;
        if (c.mode == LinkMode::None) {
            EXPECT_THAT(rig.user.messages, ElementsAre(startUp)) << c.name;
        } else {
            EXPECT_TRUE(rig.user.messages.empty()) << c.name;
        }
        // Serial is tried only when USB failed.
        EXPECT_EQ(rig.ports.log("COM1").opens, c.usb ? 0 : 1) << c.name;
    }
}

TEST(StartUpLinkChoice, UsbOnlyProgramDropsToNoLinkWithTheStartUpMessage) {
    Rig rig(/*serialTransport=*/false);
    EXPECT_TRUE(rig.link->ChooseLinkAtStartUp());
    EXPECT_EQ(rig.link->mode(), LinkMode::Usb);

    rig.sti.devices.clear();
    rig.link->OpenUsbLink();
    EXPECT_EQ(rig.link->mode(), LinkMode::None);
    ASSERT_EQ(rig.user.messages.size(), 1u);
    EXPECT_EQ(rig.user.messages[0].rfind("Can not find digital camera!\nTIP:\n", 0), 0u);
    EXPECT_TRUE(rig.user.buttons.empty());
}

}  // namespace
}  // namespace vx
