// The virtual camera's own promises, the ones the link tests take for granted and the
// Windows stand-ins build on: folder cards, the directory length, bounded escapes and
// the line's pace.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using testing::CardOf;
using ::testing::ElementsAre;
namespace vc = vx::virtualcam;
namespace fs = std::filesystem;

class FolderCard : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("vx_card_" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    void Write(const std::string& name, const Bytes& bytes) {
        std::ofstream(folder_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    fs::path folder_;
};

TEST_F(FolderCard, ListsItsPicturesInNameOrderAndDeletesTheirFiles) {
    Write("sxyz0002.jpg", Bytes(300, 2));
    Write("TXYZ0002.JPG", Bytes(28672, 3));
    Write("S1230001.JPG", Bytes(200, 1));
    Write("T1230001.JPG", Bytes(28672, 4));
    Write("README.TXT", Bytes(10, 5));
    Write("S12345678.JPG", Bytes(10, 6));  // not 8.3
    auto card = vc::Card::FromFolder(folder_);
    ASSERT_TRUE(card.has_value());
    const auto directory = card->Directory();
    ASSERT_EQ(directory.size(), 2u);
    EXPECT_EQ(std::string(directory[0].name.data(), 8), "A1230001");
    EXPECT_EQ(directory[0].size, 200u);
    EXPECT_EQ(std::string(directory[1].name.data(), 8), "AXYZ0002");
    ASSERT_NE(card->Find("SXYZ0002.JPG"), nullptr);

    EXPECT_TRUE(card->DeletePicture("SXYZ0002.JPG"));
    EXPECT_FALSE(fs::exists(folder_ / "sxyz0002.jpg"));
    EXPECT_FALSE(fs::exists(folder_ / "TXYZ0002.JPG"));
    EXPECT_TRUE(fs::exists(folder_ / "S1230001.JPG"));
    EXPECT_EQ(card->Directory().size(), 1u);
    EXPECT_FALSE(card->DeletePicture("SXYZ0002.JPG"));
    EXPECT_FALSE(vc::Card::FromFolder(folder_ / "missing").has_value());
}

TEST(VirtualUsbCamera, ReportsTheDirectoryLengthOfWholeBlocksAndAHeader) {
    const struct {
        int pictures;
        std::uint32_t length;
    } cases[] = {{0, 12}, {1, 32}, {24, 492}, {25, 524}, {26, 544}, {50, 1036}};
    for (const auto& c : cases) {
        vc::VirtualCamera camera(CardOf(c.pictures, 10));
        EXPECT_EQ(camera.usb.DirectoryLength(), c.length) << c.pictures;
    }
}

TEST(VirtualUsbCamera, NeverWritesBeyondTheRoomItIsGiven) {
    vc::VirtualCamera camera(CardOf(30, 10000));
    ASSERT_TRUE(camera.usb.Lock());
    Bytes guarded(200, 0xEE);
    const auto room = std::span<std::uint8_t>(guarded.data() + 50, 100);
    std::uint32_t actual = 0;

    const auto file = CameraFileRequest::ForFile(0, 4096, MakeFileName8("SBCD0001")).Encode();
    EXPECT_TRUE(camera.usb.Escape(0x1004, file, room, actual));
    EXPECT_EQ(actual, 100u);
    const auto directory = CameraFileRequest::ForDirectory(0, 512).Encode();
    EXPECT_TRUE(camera.usb.Escape(0x1003, directory, room, actual));
    EXPECT_EQ(actual, 100u);
    EXPECT_TRUE(
        std::all_of(guarded.begin(), guarded.begin() + 50, [](auto b) { return b == 0xEE; }));
    EXPECT_TRUE(
        std::all_of(guarded.begin() + 150, guarded.end(), [](auto b) { return b == 0xEE; }));

    // Past the end of a file: a short count; an unknown file: a failure.
    const auto past = CameraFileRequest::ForFile(9000, 4096, MakeFileName8("SBCD0001")).Encode();
    Bytes block(4096);
    EXPECT_TRUE(camera.usb.Escape(0x1004, past, block, actual));
    EXPECT_EQ(actual, 1000u);
    const auto unknown = CameraFileRequest::ForFile(0, 4096, MakeFileName8("SNONE001")).Encode();
    EXPECT_FALSE(camera.usb.Escape(0x1004, unknown, block, actual));
    EXPECT_EQ(actual, 0u);
    EXPECT_TRUE(camera.usb.breaches().empty());
}

TEST(VirtualUsbCamera, NotesEscapesOutsideTheLock) {
    vc::VirtualCamera camera;
    std::uint8_t out[4];
    std::uint32_t actual = 0;
    camera.usb.Escape(0x1002, {}, out, actual);
    EXPECT_THAT(camera.usb.breaches(), ElementsAre("escape without a lock"));
}

TEST(VirtualSerialCamera, AnswersABlockAtTheLineRate) {
    vc::VirtualCamera camera(CardOf(1, 2000));
    const vc::LineTiming line;
    EXPECT_EQ(line.Bytes(1).count(), 95487);  // 11 bits at 115200 baud, rounded up
    EXPECT_EQ(line.Bytes(516).count(), 49270834);

    const std::string select = "\xC2SBCD0001JPG ";
    std::chrono::nanoseconds t{0};
    for (char c : select)
        camera.serial.Receive(static_cast<std::uint8_t>(c), t += line.Bytes(1));
    camera.serial.output().clear();
    const std::chrono::nanoseconds command = std::chrono::seconds(1);
    camera.serial.Receive(0xC4, command);
    const auto& out = camera.serial.output();
    ASSERT_EQ(out.size(), 515u);
    EXPECT_EQ(out[0].value, 0x06);
    EXPECT_EQ(out[1].value, 0xF2);
    EXPECT_EQ(out[2].value, (*camera.card.Find("SBCD0001.JPG"))[0]);
    EXPECT_EQ(out[514].value, 0xF4);
    EXPECT_EQ(out[0].at - command, line.Bytes(1));
    EXPECT_EQ(out[514].at - command, line.Bytes(515));
}

}  // namespace
}  // namespace vx
