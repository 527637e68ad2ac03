// Downloads over serial: selection by name, 512-byte blocks with their command bytes,
// resends after failed attempts, ten failures in a row, progress texts.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using testing::CardOf;
using ::testing::ElementsAre;
using testing::RecordingProgress;
using testing::Rig;
namespace vc = vx::virtualcam;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
const Bytes kSelectT = {0xC2, 'T', 'B', 'C', 'D', '0', '0', '0', '1', 'J', 'P', 'G', ' '};
const Bytes kSelectS = {0xC2, 'S', 'B', 'C', 'D', '0', '0', '0', '1', 'J', 'P', 'G', ' '};

TEST(SelectPictureSerial, SendsTheCommandThenTheTwelveByteName) {
    Rig rig;
    rig.camera.card = CardOf(1, 100);
    rig.OpenSerial();
    EXPECT_TRUE(rig.link->SelectPictureSerial("TBCD0001"));
    EXPECT_EQ(rig.ports.log("COM1").written, kSelectT);
    EXPECT_EQ(rig.camera.serial.selected(), "TBCD0001.JPG");
}

TEST(SelectPictureSerial, FailsWithoutEitherAcknowledgement) {
    const struct {
        int after;  // select answers that get through
        Bytes written;
    } cases[] = {{0, {0xC2}}, {1, kSelectT}};
    for (const auto& c : cases) {
        Rig rig;
        rig.OpenSerial();
        rig.camera.serialFaults.silent = vc::Fault::Once().After(c.after);
        EXPECT_FALSE(rig.link->SelectPictureSerial("TBCD0001")) << c.after;
        EXPECT_EQ(rig.ports.log("COM1").written, c.written) << c.after;
    }
}

TEST(ReadPictureSerial, FetchesAThousandBytesInTwoWholeBlocks) {
    Rig rig;
    rig.camera.card = CardOf(1, 1000);
    rig.OpenSerial();
    ASSERT_TRUE(rig.link->SelectPictureSerial("SBCD0001"));
    const PictureBytes bytes = rig.link->ReadPictureSerial("SBCD0001", 1000, nullptr);
    EXPECT_EQ(rig.ports.log("COM1").written, Concat({kSelectS, {0xC4, 0xC4}}));
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), *rig.camera.card.Find("SBCD0001.JPG"));
    // The second block was copied whole: the buffer runs on, zero, to 1024 bytes.
    EXPECT_TRUE(
        std::all_of(bytes.data() + 1000, bytes.data() + 1024, [](auto b) { return b == 0; }));
    const vc::PortLog& log = rig.ports.log("COM1");
    EXPECT_EQ(
        std::count(log.readTimeouts.begin(), log.readTimeouts.end(), ReadTimeouts{0, 10, 2000}), 2);
}

TEST(ReadPictureSerial, ShowsThePercentageOfBlocksFinishedBeforeEachOne) {
    Rig rig;
    rig.camera.card = CardOf(1, 20 * 512);
    rig.OpenSerial();
    ASSERT_TRUE(rig.link->SelectPictureSerial("SBCD0001"));
    RecordingProgress progress;
    ASSERT_FALSE(rig.link->ReadPictureSerial("SBCD0001", 20 * 512, &progress).empty());
    std::vector<std::string> expected;
    for (int k = 0; k < 20; ++k)
        expected.push_back(std::to_string(5 * k) + "% of SBCD0001");
    EXPECT_EQ(progress.texts, expected);
    EXPECT_EQ(progress.steps, 20);
    EXPECT_EQ(progress.events.front(), "range 1..20");
    EXPECT_EQ(progress.events.back(), "hide");
}

TEST(ReadPictureSerial, RepeatsAFailedBlockWithAPurgeAndTheResendCommand) {
    const struct {
        const char* name;
        void (*arm)(vc::SerialFaults&);
        int steps;  // the bar steps on every attempt that got as far as the trailer
    } cases[] = {
        {"wrong trailer", [](vc::SerialFaults& f) { f.wrongTrailer = vc::Fault::Once(); }, 4},
        {"short block", [](vc::SerialFaults& f) { f.shortBlock = vc::Fault::Once(); }, 3},
        {"no answer", [](vc::SerialFaults& f) { f.silent = vc::Fault::Once().OnCommand(0xC4); }, 3},
        {"late answer",
         [](vc::SerialFaults& f) {
             // Acknowledged only on the second of the hundred reads: no failure at all.
             f.late = vc::Fault::Once().OnCommand(0xC4);
             f.lateMs = 600;
         },
         3},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(1, 1500);
        rig.OpenSerial();
        ASSERT_TRUE(rig.link->SelectPictureSerial("SBCD0001"));
        rig.ports.ClearLog("COM1");
        c.arm(rig.camera.serialFaults);
        RecordingProgress progress;
        const PictureBytes bytes = rig.link->ReadPictureSerial("SBCD0001", 1500, &progress);
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 1500), *rig.camera.card.Find("SBCD0001.JPG"))
            << c.name;
        const Bytes& written = rig.ports.log("COM1").written;
        if (std::string(c.name) == "late answer") {
            EXPECT_EQ(written, (Bytes{0xC4, 0xC4, 0xC4})) << c.name;
            EXPECT_TRUE(rig.ports.log("COM1").purges.empty()) << c.name;
        } else {
            EXPECT_EQ(written, (Bytes{0xC4, 0xC5, 0xC4, 0xC4})) << c.name;
            EXPECT_THAT(rig.ports.log("COM1").purges, ElementsAre(0xFu)) << c.name;
        }
        EXPECT_EQ(progress.steps, c.steps) << c.name;
        EXPECT_EQ(progress.texts.front(), "0% of SBCD0001") << c.name;
        EXPECT_TRUE(rig.user.messages.empty()) << c.name;
    }
}

TEST(ReadPictureSerial, TenFailuresInARowEndTheDownload) {
    const struct {
        const char* name;
        void (*arm)(vc::SerialFaults&);
        std::vector<std::string> messages;
    } cases[] = {
        {"wrong trailer",
         [](vc::SerialFaults& f) { f.wrongTrailer = vc::Fault::Times(10); },
         {"Download Error!"}},
        {"no card",
         [](vc::SerialFaults& f) {
             f.badStatus = vc::Fault::Always();
             f.status = 0xE1;
         },
         std::vector<std::string>(10, "Can't find compact flash card!")},
    };
    for (auto c : cases) {
        if (c.messages.size() == 10)
            c.messages.push_back("Download Error!");
        Rig rig;
        rig.camera.card = CardOf(2, 1000);
        rig.OpenSerial();
        ASSERT_TRUE(rig.link->SelectPictureSerial("SBCD0002"));
        const PictureBytes old = rig.link->ReadPictureSerial("SBCD0002", 1000, nullptr);
        ASSERT_TRUE(rig.link->SelectPictureSerial("SBCD0001"));
        rig.ports.ClearLog("COM1");
        c.arm(rig.camera.serialFaults);
        RecordingProgress progress;
        EXPECT_TRUE(rig.link->ReadPictureSerial("SBCD0001", 1000, &progress).empty()) << c.name;
        EXPECT_EQ(rig.user.messages, c.messages) << c.name;
        Bytes expected = {0xC4};
        expected.insert(expected.end(), 9, 0xC5);
        EXPECT_EQ(rig.ports.log("COM1").written, expected) << c.name;
        EXPECT_EQ(progress.events.back(), "hide") << c.name;
        // The old picture buffer stays.
        EXPECT_EQ(rig.link->pictureBuffer().data(), old.data()) << c.name;
    }
}

TEST(ReadPictureSerial, WithoutMemoryShowsTheMessageAndRunsExit) {
    Rig rig;
    rig.link = std::make_unique<CameraLink>(CameraEnvironment{
        rig.sti, &rig.ports, rig.clock, rig.user, rig.catalogue, /*maxDownloadBytes=*/1023});
    rig.OpenSerial();
    EXPECT_TRUE(rig.link->ReadPictureSerial("SBCD0001", 1000, nullptr).empty());
    EXPECT_EQ(rig.user.messages.size(), 1u);
    EXPECT_EQ(rig.user.exits, 1);
    EXPECT_TRUE(rig.ports.log("COM1").written.empty());
}

}  // namespace
}  // namespace vx
