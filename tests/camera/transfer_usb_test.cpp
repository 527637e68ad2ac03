// Downloads over USB: the 4096-byte requests, short and failing blocks, the picture
// buffer's rules, and progress.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using testing::CardOf;
using testing::Describe;
using ::testing::ElementsAre;
using testing::Pattern;
using testing::RecordingProgress;
using testing::Rig;
namespace vc = vx::virtualcam;

Bytes AsBytes(PictureBytes b) {
    return Bytes(b.begin(), b.end());
}

TEST(ReadPictureUsb, FetchesTenThousandBytesInThreeRequests) {
    Rig rig;
    rig.camera.card = CardOf(1, 10000);
    rig.OpenUsb();
    RecordingProgress progress;
    const PictureBytes bytes = rig.link->ReadPictureUsb("SBCD0001", 10000, &progress);
    EXPECT_EQ(AsBytes(bytes), *rig.camera.card.Find("SBCD0001.JPG"));
    EXPECT_EQ(bytes.data(), rig.link->pictureBuffer().data());
    EXPECT_THAT(Describe(rig.camera.usb.calls()),
                ElementsAre("Lock", "Subscribe", "Reset", "GetStatus",
                            "Escape 1004 @0+4096 SBCD0001", "Escape 1004 @4096+4096 SBCD0001",
                            "Escape 1004 @8192+1808 SBCD0001", "UnSubscribe", "Unlock"));
    // Each request's room runs to the end of the buffer.
    EXPECT_EQ(rig.camera.usb.calls()[6].outputSize, 10000u - 8192);
    EXPECT_THAT(progress.events, ElementsAre("range 1..3", "step 1", "show", "text SBCD0001",
                                             "stepit", "stepit", "stepit", "hide"));
    EXPECT_TRUE(rig.camera.usb.breaches().empty());
}

TEST(ReadPictureUsb, AcceptsAShortBlockAfterTellingTheCamera) {
    Rig rig;
    rig.camera.card = CardOf(1, 10000);
    rig.camera.usbFaults.blockShort = vc::Fault::Once();
    rig.camera.usbFaults.shortBytes = 1000;
    rig.OpenUsb();
    const Bytes bytes = AsBytes(rig.link->ReadPictureUsb("SBCD0001", 10000, nullptr));
    EXPECT_THAT(
        Describe(rig.camera.usb.calls()),
        ElementsAre("Lock", "Subscribe", "Reset", "GetStatus", "Escape 1004 @0+4096 SBCD0001",
                    "Escape 1009", "Escape 1004 @1000+4096 SBCD0001",
                    "Escape 1004 @5096+1808 SBCD0001", "UnSubscribe", "Unlock"));
    EXPECT_EQ(rig.camera.usb.calls()[5].input, (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(rig.camera.usb.calls()[5].outputSize, 0u);
    // The later requests started early: the file's end is not fetched, the tail is zero.
    const Bytes& file = *rig.camera.card.Find("SBCD0001.JPG");
    ASSERT_EQ(bytes.size(), 10000u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 6904, file.begin()));
    EXPECT_TRUE(std::all_of(bytes.begin() + 6904, bytes.end(), [](auto b) { return b == 0; }));
}

TEST(ReadPictureUsb, GivesUpOnABlockThatFailsThreeTimes) {
    const struct {
        int failures;
        bool fetched;
    } cases[] = {{2, true}, {3, false}};
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(2, 10000);
        rig.OpenUsb();
        ASSERT_FALSE(rig.link->ReadPictureUsb("SBCD0002", 10000, nullptr).empty());
        rig.camera.usb.ClearCalls();
        rig.camera.usbFaults.blockFails = vc::Fault::Times(c.failures).After(1);
        const PictureBytes bytes = rig.link->ReadPictureUsb("SBCD0001", 10000, nullptr);
        EXPECT_EQ(!bytes.empty(), c.fetched) << c.failures;
        EXPECT_EQ(rig.camera.usb.CountEscapes(0x1009), c.failures) << c.failures;
        EXPECT_EQ(rig.camera.usb.CountEscapes(0x1004), c.fetched ? 3 + c.failures : 4);
        // A failed download leaves no picture buffer, not even the old one.
        EXPECT_EQ(rig.link->pictureBuffer().empty(), !c.fetched) << c.failures;
        EXPECT_TRUE(rig.user.messages.empty());
        EXPECT_FALSE(rig.camera.usb.locked());
    }
}

TEST(ReadPictureUsb, WithoutMemoryShowsTheMessageRunsExitAndStillUnlocks) {
    Rig rig;
    rig.camera.card = CardOf(1, 10000);
    rig.link = std::make_unique<CameraLink>(CameraEnvironment{
        rig.sti, &rig.ports, rig.clock, rig.user, rig.catalogue, /*maxDownloadBytes=*/9999});
    rig.OpenUsb();
    EXPECT_TRUE(rig.link->ReadPictureUsb("SBCD0001", 10000, nullptr).empty());
    EXPECT_THAT(rig.user.messages,
                ElementsAre("Virtual Memory is not enough.  \nHave any problem.  \n"
                            "Please contact agency.  "));
    EXPECT_EQ(rig.user.exits, 1);
    EXPECT_THAT(Describe(rig.camera.usb.calls()),
                ElementsAre("Lock", "Subscribe", "Reset", "GetStatus", "UnSubscribe", "Unlock"));
}

TEST(ReadPictureUsb, FailsBeforeTouchingTheBufferWhenTheCameraCannotBeHad) {
    const struct {
        const char* name;
        void (*arm)(Rig&);
    } cases[] = {
        {"busy", [](Rig& r) { r.camera.usbFaults.busy = vc::Fault::Once(); }},
        {"status", [](Rig& r) { r.camera.usbFaults.statusFails = vc::Fault::Once(); }},
        {"no device", [](Rig& r) { r.link->ReleaseUsbCamera(); }},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(1, 100);
        rig.OpenUsb();
        const PictureBytes old = rig.link->ReadPictureUsb("SBCD0001", 100, nullptr);
        ASSERT_EQ(old.size(), 100u);
        c.arm(rig);
        EXPECT_TRUE(rig.link->ReadPictureUsb("SBCD0001", 100, nullptr).empty()) << c.name;
        EXPECT_EQ(rig.link->pictureBuffer().data(), old.data()) << c.name;
        EXPECT_EQ(rig.link->pictureBuffer().size(), 100u) << c.name;
    }
}

TEST(ReadPictureUsb, ASizeOfZeroDownloadsNothing) {
    Rig rig;
    rig.camera.card = CardOf(1, 100);
    rig.OpenUsb();
    EXPECT_TRUE(rig.link->ReadPictureUsb("SBCD0001", 0, nullptr).empty());
    EXPECT_TRUE(rig.camera.usb.calls().empty());
}

TEST(ReadPictureUsb, ADriverClaimingMoreThanTheRoomIsBelievedOnlyThatFar) {
    // A device that says it delivered 1 MiB into a 4096-byte room.
    class Boasting final : public StillImageDevice {
      public:
        bool LockDevice(std::uint32_t) override { return true; }
        bool UnLockDevice() override { return true; }
        bool Subscribe() override { return true; }
        bool UnSubscribe() override { return true; }
        bool DeviceReset() override { return true; }
        bool GetStatus() override { return true; }
        bool Escape(std::uint32_t code, std::span<const std::uint8_t>, std::span<std::uint8_t> out,
                    std::uint32_t& actual) override {
            if (code == 0x1004)
                std::fill(out.begin(), out.end(), 0xAB);
            actual = 1u << 20;
            ++escapes;
            return true;
        }
        int escapes = 0;
    };
    class OneDevice final : public StillImageSystem, public StillImage {
      public:
        std::unique_ptr<StillImage> CreateInstance() override {
            return std::unique_ptr<StillImage>(new Forward(*this));
        }
        bool GetDeviceList(std::vector<StillImageDeviceInfo>& d) override {
            d = {{"VX2917", L"x"}};
            return true;
        }
        std::unique_ptr<StillImageDevice> CreateDevice(const std::wstring&,
                                                       std::uint32_t) override {
            return std::make_unique<Boasting>();
        }
        struct Forward final : StillImage {
            explicit Forward(OneDevice& o) : owner(o) {}
            bool GetDeviceList(std::vector<StillImageDeviceInfo>& d) override {
                return owner.GetDeviceList(d);
            }
            std::unique_ptr<StillImageDevice> CreateDevice(const std::wstring& n,
                                                           std::uint32_t m) override {
                return owner.CreateDevice(n, m);
            }
            OneDevice& owner;
        };
    };
    OneDevice system;
    testing::RecordingUser user;
    virtualcam::SimulatedClock clock;
    PictureCatalogue catalogue;
    CameraLink link(CameraEnvironment{system, nullptr, clock, user, catalogue});
    link.OpenUsbLink();
    ASSERT_EQ(link.mode(), LinkMode::Usb);
    const PictureBytes bytes = link.ReadPictureUsb("SBCD0001", 10000, nullptr);
    ASSERT_EQ(bytes.size(), 10000u);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0xAB; }));
}

}  // namespace
}  // namespace vx
