// Opening the USB transport: which still-image device is taken, what is released when,
// the link command's messages, and the transaction bracket around every exchange.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "camera/usb_transaction.h"
#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Describe;
using ::testing::ElementsAre;
using testing::Rig;
namespace vc = vx::virtualcam;

TEST(OpenUsbCamera, TakesTheFirstDeviceDescribedExactly) {
    Rig rig;
    rig.sti.devices = {{"vx2917", L"lower", false},
                       {"VX2917 ", L"blank", false},
                       {"VX29170", L"longer", false},
                       {"VX2917", L"first", true},
                       {"VX2917", L"second", true}};
    EXPECT_TRUE(rig.link->OpenUsbCamera());
    EXPECT_THAT(rig.sti.events, ElementsAre("instance", "list", "create first mode 2"));
}

TEST(OpenUsbCamera, WithOnlyDecoysFailsAndKeepsTheInstance) {
    Rig rig;
    rig.sti.devices = {{"vx2917", L"lower", false}, {"VX2917 ", L"blank", false}};
    EXPECT_FALSE(rig.link->OpenUsbCamera());
    EXPECT_TRUE(rig.link->hasStillImage());
    EXPECT_EQ(rig.sti.instancesAlive, 1);
    EXPECT_EQ(rig.sti.devicesAlive, 0);
    // The next open releases it before making a new one.
    rig.sti.devices = {{"VX2917", L"cam", true}};
    EXPECT_TRUE(rig.link->OpenUsbCamera());
    EXPECT_EQ(rig.sti.instancesAlive, 1);
}

TEST(OpenUsbCamera, ReleasesTheInstanceWhenListOrDeviceCannotBeHad) {
    const struct {
        const char* name;
        vc::Fault vc::VirtualStillImageSystem::*fault;
    } cases[] = {{"instance", &vc::VirtualStillImageSystem::instanceFails},
                 {"list", &vc::VirtualStillImageSystem::listFails},
                 {"create", &vc::VirtualStillImageSystem::createFails}};
    for (const auto& c : cases) {
        Rig rig;
        rig.sti.*c.fault = vc::Fault::Once();
        EXPECT_FALSE(rig.link->OpenUsbCamera()) << c.name;
        EXPECT_FALSE(rig.link->hasStillImage()) << c.name;
        EXPECT_EQ(rig.sti.instancesAlive, 0) << c.name;
        EXPECT_EQ(rig.sti.devicesAlive, 0) << c.name;
    }
}

TEST(ReleaseUsbCamera, ReleasesTheDeviceBeforeTheInstance) {
    Rig rig;
    ASSERT_TRUE(rig.link->OpenUsbCamera());
    rig.sti.events.clear();
    rig.link->ReleaseUsbCamera();
    EXPECT_THAT(rig.sti.events, ElementsAre("release device", "release instance"));
    EXPECT_FALSE(rig.link->hasDevice());
}

TEST(OpenUsbLink, FromSerialClosesThePortAndReleasesTheSerialButton) {
    Rig rig;
    rig.ports.Attach("COM1", &rig.camera.serial);
    rig.sti.devices.clear();
    rig.link->OpenSerialLink();
    ASSERT_EQ(rig.link->mode(), LinkMode::Serial);
    rig.sti.devices = {{"VX2917", L"cam", true}};
    rig.link->OpenUsbLink();
    EXPECT_EQ(rig.link->mode(), LinkMode::Usb);
    EXPECT_FALSE(rig.ports.isOpen("COM1"));
    EXPECT_THAT(rig.user.buttons, ElementsAre("serial pushed", "serial released"));
    EXPECT_TRUE(rig.user.messages.empty());
}

TEST(OpenUsbLink, FailingWhileSerialIsOpenSaysSoAndSerialKeepsWorking) {
    Rig rig;
    rig.camera.card = testing::CardOf(2, 100);
    rig.OpenSerial();
    rig.link->OpenUsbLink();
    EXPECT_THAT(rig.user.messages, ElementsAre("Can't find DSC connected to USB!"));
    EXPECT_THAT(rig.user.buttons, ElementsAre("serial pushed", "repaint serial"));
    EXPECT_EQ(rig.link->mode(), LinkMode::Serial);
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 2);
}

TEST(OpenUsbLink, FailingWithNoLinkShowsNothing) {
    Rig rig;
    rig.sti.devices.clear();
    rig.link->OpenUsbLink();
    EXPECT_EQ(rig.link->mode(), LinkMode::None);
    EXPECT_TRUE(rig.user.messages.empty());
    EXPECT_THAT(rig.user.buttons, ElementsAre("repaint serial"));
}

TEST(OpenUsbLink, FailingAgainInUsbModeLeavesNoDeviceAndListingFindsNone) {
    Rig rig;
    rig.camera.card = testing::CardOf(1, 100);
    rig.OpenUsb();
    rig.sti.devices.clear();
    rig.link->OpenUsbLink();
    EXPECT_EQ(rig.link->mode(), LinkMode::Usb);
    EXPECT_FALSE(rig.link->hasDevice());
    EXPECT_THAT(rig.user.messages, ElementsAre("Can't find DSC connected to USB!"));
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesUsb(list), 0);
    EXPECT_TRUE(rig.camera.usb.calls().empty());
}

TEST(UsbTransaction, FullFormBracketsWithLockSubscribeResetStatus) {
    Rig rig;
    std::shared_ptr<StillImageDevice> shared =
        rig.sti.CreateInstance()->CreateDevice(L"{VX2917}\\0000", 2);
    {
        auto bracket = UsbTransaction::Open(shared, UsbTransaction::Form::Full);
        ASSERT_TRUE(bracket.has_value());
        EXPECT_TRUE(rig.camera.usb.locked());
    }
    {
        auto bracket = UsbTransaction::Open(shared, UsbTransaction::Form::Short);
        ASSERT_TRUE(bracket.has_value());
    }
    EXPECT_THAT(Describe(rig.camera.usb.calls()),
                ElementsAre("Lock", "Subscribe", "Reset", "GetStatus", "UnSubscribe", "Unlock",
                            "Lock", "Unlock"));
    EXPECT_TRUE(rig.camera.usb.breaches().empty());
}

TEST(UsbTransaction, FailsOnABusyDeviceAfterTheTimeOutAndOnAFailedStatus) {
    Rig rig;
    std::shared_ptr<StillImageDevice> device =
        rig.sti.CreateInstance()->CreateDevice(L"{VX2917}\\0000", 2);
    rig.camera.usbFaults.busy = vc::Fault::Once();
    EXPECT_FALSE(UsbTransaction::Open(device, UsbTransaction::Form::Full).has_value());
    EXPECT_EQ(rig.clock.Now(), std::chrono::milliseconds(2000));
    // Nothing was started, so nothing is unlocked.
    EXPECT_THAT(Describe(rig.camera.usb.calls()), ElementsAre("Lock failed"));

    rig.camera.usb.ClearCalls();
    rig.camera.usbFaults.statusFails = vc::Fault::Once();
    EXPECT_FALSE(UsbTransaction::Open(device, UsbTransaction::Form::Full).has_value());
    EXPECT_THAT(
        Describe(rig.camera.usb.calls()),
        ElementsAre("Lock", "Subscribe", "Reset", "GetStatus failed", "UnSubscribe", "Unlock"));
    EXPECT_FALSE(rig.camera.usb.locked());
}

}  // namespace
}  // namespace vx
