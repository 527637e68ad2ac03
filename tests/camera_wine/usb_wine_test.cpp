// camtool over USB under Wine: the real Still Image adapters against the stand-in
// sti.dll next to the program, which serves a card folder made by the card maker and
// writes one line per call into a log the tests read.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "camera/win/serial_port_win.h"
#include "camera/win/still_image_win.h"
#include "tests/camera_wine/camtool_runner.h"

namespace vx::wine {
namespace {

using Environment = std::vector<std::pair<std::string, std::string>>;

const char kNoPictures[] =
    "1.Please restart your computer.\n2.Not find image from your digital camera.\n"
    "3.Makesure your CF card have picture.\n4.Reset and plug it again.\n";

std::string CardFolder(const std::string& card) {
    return BinFolder() + "..\\" VX_CAMERA_CARDS "\\" + card;
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.compare(0, prefix.size(), prefix) == 0;
    }));
}

// Each test gets a copy of the 30-picture card it may change, a log, and a folder for
// downloads.
class UsbCamera : public ::testing::Test {
  protected:
    void SetUp() override {
        work_ = MakeTempFolder("usb");
        card_ = work_ + "\\card";
        downloads_ = work_ + "\\downloads";
        log_ = work_ + "\\sti.log";
        CopyFolder(CardFolder("c30"), card_);
        ASSERT_EQ(FileNames(card_).size(), 60u) << "card maker output missing: " << card_;
    }
    void TearDown() override {
        RemoveFolder(downloads_);
        RemoveFolder(card_);
        RemoveFolder(work_);
    }

    CamtoolResult Run(const std::string& args, const std::string& faults = "",
                      const std::string& devices = "VX2917") {
        return RunCamtool(args, {{"VX_STI_CARD", card_},
                                 {"VX_STI_DEVICES", devices},
                                 {"VX_STI_FAULTS", faults},
                                 {"VX_STI_LOG", log_}});
    }
    std::vector<std::string> Log() const { return ReadLines(log_); }
    // Every call the stand-in saw kept the device contract.
    void ExpectNoBreaches() const {
        for (const std::string& line : Log())
            EXPECT_EQ(line.find("breach"), std::string::npos) << line;
    }

    std::string work_, card_, downloads_, log_;
};

TEST_F(UsbCamera, OpensOnlyTheDeviceDescribedExactly) {
    struct Case {
        const char* devices;
        int created;  // index of the device created, -1 for none
    };
    const Case cases[] = {
        // Decoys differ in case or by a trailing blank; the last entry is an exact match
        // that answers nothing, so taking any match but the first fails the listing.
        {"D:vx2917;D:VX2917 ;VX2917;D:VX2917", 2},
        {"VX2917;D:VX2917", 0},
        {"D:vx2917;D:VX2917 ;D: VX2917;D:VX29170", -1},
        {"none", -1},
    };
    for (const Case& c : cases) {
        DeleteFileA(log_.c_str());
        const CamtoolResult result = Run("--usb list", "", c.devices);
        const std::vector<std::string> log = Log();
        if (c.created >= 0) {
            EXPECT_EQ(result.exitCode, 0u) << c.devices << "\n" << result.out;
            EXPECT_EQ(result.OutLines().size(), 30u) << c.devices;
            EXPECT_EQ(Count(log, "create " + std::to_string(c.created) + " mode 2"), 1)
                << c.devices;
            EXPECT_EQ(CountPrefix(log, "create "), 1) << c.devices;
        } else {
            EXPECT_EQ(result.exitCode, 1u) << c.devices;
            EXPECT_EQ(result.out, "Can't find DSC connected to USB!\n") << c.devices;
            EXPECT_EQ(CountPrefix(log, "create "), 0) << c.devices;
        }
        EXPECT_EQ(Count(log, "list type 0 flags 0"), 1) << c.devices;
        EXPECT_EQ(Count(log, "release instance"), 1) << c.devices;
        ExpectNoBreaches();
    }
}

TEST_F(UsbCamera, ListsACardOfThirtyPicturesInTwoDirectoryBlocks) {
    const CamtoolResult result = Run("--usb list");
    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(result.OutLines(), ExpectedListing(card_));
    // The full bracket around the listing, one directory length, two blocks.
    const std::vector<std::string> expected = {
        "instance version 0x00000002 module given",
        "list type 0 flags 0",
        "create 0 mode 2",
        "lock 2000 ok",
        "subscribe ok",
        "reset ok",
        "status ok",
        "escape 0x1002 in 0 out 4 actual 4 ok",
        "escape 0x1003 in 24 out 512 actual 512 ok",
        "escape 0x1003 in 24 out 512 actual 512 ok",
        "unsubscribe ok",
        "unlock ok",
        "release device",
        "release instance",
    };
    EXPECT_EQ(Log(), expected);
}

TEST_F(UsbCamera, DownloadsAThumbnailAndAPictureAsTheCardHoldsThem) {
    const CamtoolResult result = Run("--usb get SVXA0007 TVXA0007 \"" + downloads_ + "\"");
    ASSERT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(result.out, "");
    const std::vector<std::uint8_t> picture = ReadBytes(card_ + "\\SVXA0007.JPG");
    EXPECT_EQ(ReadBytes(downloads_ + "\\SVXA0007.jpg"), picture);
    std::vector<std::uint8_t> thumbnail = ReadBytes(card_ + "\\TVXA0007.JPG");
    ASSERT_GE(thumbnail.size(), 28672u);
    thumbnail.resize(28672);
    EXPECT_EQ(ReadBytes(downloads_ + "\\TVXA0007.jpg"), thumbnail);

    // A thumbnail costs 7 escapes of at most 4096 bytes, the picture one per 4096 bytes.
    const std::vector<std::string> log = Log();
    const int pictureEscapes = static_cast<int>((picture.size() + 4095) / 4096);
    EXPECT_EQ(CountPrefix(log, "escape 0x1004 in 24 out"), 7 + pictureEscapes);
    EXPECT_EQ(CountPrefix(log, "escape 0x1009"), 0);
    EXPECT_NE(result.err.find("SVXA0007 [" + std::to_string(pictureEscapes) + "/" +
                              std::to_string(pictureEscapes) + "]"),
              std::string::npos)
        << result.err;
    ExpectNoBreaches();
}

TEST_F(UsbCamera, SavesEveryThumbnailDecoded) {
    const CamtoolResult result = Run("--usb thumbs \"" + downloads_ + "\"");
    ASSERT_EQ(result.exitCode, 0u) << result.out;
    std::vector<std::string> expected;
    for (const std::string& line : ExpectedListing(card_))
        expected.push_back(line.substr(0, 8) + ".bmp");
    ASSERT_EQ(FileNames(downloads_), expected);
    // Each is a 24-bit bitmap of the 160 x 120 thumbnail reduced for the grid.
    const std::vector<std::uint8_t> bmp = ReadBytes(downloads_ + "\\" + expected[0]);
    ASSERT_GE(bmp.size(), 54u);
    auto le32 = [&](std::size_t at) {
        return bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24;
    };
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(static_cast<std::size_t>(le32(2)), bmp.size());
    EXPECT_EQ(le32(18), 80);  // width
    EXPECT_EQ(le32(22), 60);  // height
    EXPECT_EQ(bmp[28], 24);   // bits per pixel
    // A photograph, not a blank: the pixels vary.
    const auto first = bmp.begin() + 54;
    EXPECT_NE(std::count(first, bmp.end(), *first), static_cast<long>(bmp.size() - 54));
    ExpectNoBreaches();
}

TEST_F(UsbCamera, DeletesAPictureAndItsThumbnailFromTheCard) {
    const CamtoolResult result = Run("--usb delete SVXA0005");
    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_FALSE(FileExists(card_ + "\\SVXA0005.JPG"));
    EXPECT_FALSE(FileExists(card_ + "\\TVXA0005.JPG"));
    EXPECT_EQ(FileNames(card_).size(), 58u);
    // The short bracket: lock, the delete escape, unlock.
    const std::vector<std::string> log = Log();
    EXPECT_EQ(Count(log, "escape 0x1010 in 24 out 4 actual 4 ok"), 1);
    EXPECT_EQ(CountPrefix(log, "subscribe"), 0);
    EXPECT_EQ(Count(log, "unlock ok"), 1);
    ExpectNoBreaches();

    const CamtoolResult after = Run("--usb list");
    EXPECT_EQ(after.OutLines(), ExpectedListing(card_));
    EXPECT_EQ(after.OutLines().size(), 29u);
}

TEST_F(UsbCamera, BusyDeviceStartsNothingAndIsNeverUnlocked) {
    // Delete: one lock attempt.
    const CamtoolResult deleting = Run("--usb delete SVXA0001", "busy=always");
    EXPECT_EQ(deleting.exitCode, 1u);
    EXPECT_EQ(deleting.out, "SVXA0001: delete failed\n");
    EXPECT_TRUE(FileExists(card_ + "\\SVXA0001.JPG"));
    std::vector<std::string> log = Log();
    EXPECT_EQ(Count(log, "lock 2000 failed"), 1);
    EXPECT_EQ(CountPrefix(log, "unlock"), 0);
    EXPECT_EQ(CountPrefix(log, "escape"), 0);

    // Listing: three series of three attempts, then the four-line message.
    DeleteFileA(log_.c_str());
    const CamtoolResult listing = Run("--usb list", "busy=always");
    EXPECT_EQ(listing.exitCode, 1u);
    EXPECT_EQ(listing.out, kNoPictures);
    log = Log();
    EXPECT_EQ(Count(log, "lock 2000 failed"), 9);
    EXPECT_EQ(CountPrefix(log, "unlock"), 0);
    EXPECT_EQ(CountPrefix(log, "subscribe"), 0);
    EXPECT_EQ(CountPrefix(log, "escape"), 0);
    ExpectNoBreaches();
}

TEST_F(UsbCamera, ABlockThatFailsThreeTimesEndsTheDownload) {
    struct Case {
        int failures;
        bool downloaded;
    };
    for (const Case c : {Case{2, true}, Case{3, false}}) {
        RemoveFolder(downloads_);
        DeleteFileA(log_.c_str());
        const std::string faults = "blockFails=" + std::to_string(c.failures);
        const CamtoolResult result = Run("--usb get SVXA0002 \"" + downloads_ + "\"", faults);
        const std::vector<std::string> log = Log();
        // Each failed attempt is followed by the recovery escape.
        const int failed =
            static_cast<int>(std::count_if(log.begin(), log.end(), [](const std::string& l) {
                return l.rfind("escape 0x1004 ", 0) == 0 && l.ends_with(" failed");
            }));
        EXPECT_EQ(failed, c.failures) << faults;
        EXPECT_EQ(CountPrefix(log, "escape 0x1009 in 4 out 0"), c.failures) << faults;
        EXPECT_EQ(Count(log, "unlock ok"), 2) << faults;  // listing and download
        if (c.downloaded) {
            EXPECT_EQ(result.exitCode, 0u) << faults << "\n" << result.out;
            EXPECT_EQ(ReadBytes(downloads_ + "\\SVXA0002.jpg"),
                      ReadBytes(card_ + "\\SVXA0002.JPG"));
        } else {
            EXPECT_EQ(result.exitCode, 1u) << faults;
            // No message from the link; only the tool's own line.
            EXPECT_EQ(result.out, "SVXA0002: download failed\n") << faults;
            EXPECT_FALSE(FileExists(downloads_ + "\\SVXA0002.jpg")) << faults;
        }
        ExpectNoBreaches();
    }
}

// Programs started by the system (an automation server) do not get the caller's
// environment; the stand-in then reads the same settings from the registry.
TEST_F(UsbCamera, TakesItsSettingsFromTheRegistryWithoutEnvironment) {
    const char kKey[] = "Software\\VX2917 Stand-ins\\Still Image";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    auto set = [&](const char* name, const std::string& value) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    };
    set("Card", card_);
    set("Devices", "D:vx2917;VX2917");
    set("Log", log_);
    const CamtoolResult result = RunCamtool("--usb list", {});
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);

    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(result.OutLines(), ExpectedListing(card_));
    EXPECT_EQ(Count(Log(), "create 1 mode 2"), 1);
}

class NoUser final : public UserSide {
  public:
    void ShowMessage(const std::string& text) override { ADD_FAILURE() << "message: " << text; }
    void RunExitCommand() override {}
    void SetSerialButtonPushed(bool) override {}
    void RepaintSerialButton() override {}
    void RepaintUsbButton() override {}
};

// The link in this process over the real adapters: each listing subscribes with a new
// event, which must be closed again, and each open releases what the one before held.
TEST_F(UsbCamera, RepeatedOpensAndListingsHoldNoHandles) {
    SetEnvironmentVariableA("VX_STI_CARD", card_.c_str());
    SetEnvironmentVariableA("VX_STI_LOG", log_.c_str());
    WinStillImageSystem stillImage;
    WinSerialPortSystem ports;
    SystemClock clock;
    NoUser user;
    PictureCatalogue catalogue;
    CameraLink link({.stillImage = stillImage,
                     .serialPorts = &ports,
                     .clock = clock,
                     .user = user,
                     .catalogue = catalogue});
    auto list = [&] {
        PictureList pictures;
        EXPECT_EQ(link.ListPicturesUsb(pictures), 30);
    };
    link.OpenUsbLink();
    ASSERT_EQ(link.mode(), LinkMode::Usb);
    list();  // loads whatever the first exchange needs, once

    // Each listing closes its event once it has unsubscribed, not later.
    link.OpenUsbLink();
    const DWORD before = HandleCount();
    for (int i = 0; i < 3; ++i) {
        list();
        EXPECT_EQ(HandleCount(), before) << "after listing " << i;
    }
    // Opening again releases the device and instance before.
    for (int i = 0; i < 3; ++i) {
        link.OpenUsbLink();
        EXPECT_EQ(HandleCount(), before) << "after open " << i;
    }
    link.ReleaseUsbCamera();
    SetEnvironmentVariableA("VX_STI_CARD", nullptr);
    SetEnvironmentVariableA("VX_STI_LOG", nullptr);
    EXPECT_EQ(Count(Log(), "subscribe ok"), 4);
    EXPECT_EQ(Count(Log(), "release instance"), 5);
    ExpectNoBreaches();
}

}  // namespace
}  // namespace vx::wine
