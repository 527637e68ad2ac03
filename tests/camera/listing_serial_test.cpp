// Listing over serial: the byte exchange of CMD_LIST, continuation blocks, the status
// messages, and what a misbehaving camera leaves in the list.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using testing::CardOf;
using ::testing::ElementsAre;
using testing::Names;
using testing::Rig;
namespace vc = vx::virtualcam;

TEST(ListPicturesSerial, ListsThirtyPicturesInTwoBlocks) {
    Rig rig;
    rig.camera.card = CardOf(30, 7000);
    rig.OpenSerial();
    rig.catalogue.AddPicture("OLD", 1, 1, {});
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 30);
    const vc::PortLog& log = rig.ports.log("COM1");
    EXPECT_EQ(log.written, (Bytes{0xC1, 0xC1}));
    EXPECT_THAT(log.purges, ElementsAre(0xFu));
    // Acknowledgement, status, count, records, trailer: twice.
    EXPECT_EQ(log.received.size(), (4 + 25 * 20) + (4 + 5 * 20));
    EXPECT_EQ(log.received[2], 25);
    EXPECT_EQ(log.received[3 + 25 * 20], 0xF3);
    ASSERT_EQ(list.size(), 30u);
    EXPECT_EQ(Names({list[0], list[29]}), "SBCD0001/TBCD0001:7000 SBCD0030/TBCD0030:7000");
    EXPECT_EQ(rig.catalogue.count(), 0);
    EXPECT_TRUE(rig.user.messages.empty());
}

TEST(ListPicturesSerial, MergesRecordsThatShareTheirLastFourCharacters) {
    Rig rig;
    vc::CardRecord first, later;
    first.name = {'S', '1', '2', '3', '0', '0', '0', '1'};
    first.size = 100;
    later.name = {'S', '4', '5', '6', '0', '0', '0', '1'};
    later.size = 200;
    later.time = 0x1111;
    rig.camera.card.SetDirectory({first, later});
    rig.OpenSerial();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 1);
    EXPECT_EQ(Names(list), "S4560001/T4560001:200");
    EXPECT_EQ(list[0].time, 0x1111);
}

TEST(ListPicturesSerial, StatusBytesShowTheirMessages) {
    const struct {
        std::uint8_t status;
        const char* message;
    } cases[] = {{0xE1, "Can't find compact flash card!"},
                 {0xE2, "Compact flash card can not be formatted!"},
                 {0xE3, "Access compact flash card failed!"},
                 {0x42, "Unknown Problem!"}};
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(3, 10);
        rig.camera.serialFaults.badStatus = vc::Fault::Once();
        rig.camera.serialFaults.status = c.status;
        rig.OpenSerial();
        PictureList list;
        EXPECT_EQ(rig.link->ListPicturesSerial(list), 0) << int{c.status};
        EXPECT_THAT(rig.user.messages, ElementsAre(c.message)) << int{c.status};
        EXPECT_TRUE(list.empty());
    }
}

TEST(ListPicturesSerial, NoAcknowledgementMeansNoCameraEvenAfterEarlierBlocks) {
    const struct {
        int after;  // CMD_LIST answers that get through first
        std::size_t nodesLeft;
    } cases[] = {{0, 0}, {1, 25}};
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(30, 10);
        rig.camera.serialFaults.silent = vc::Fault::Once().After(c.after).OnCommand(0xC1);
        rig.OpenSerial();
        PictureList list;
        EXPECT_EQ(rig.link->ListPicturesSerial(list), 0);
        EXPECT_THAT(rig.user.messages, ElementsAre("Can't find camera!"));
        EXPECT_EQ(list.size(), c.nodesLeft);
    }
}

TEST(ListPicturesSerial, ACountAboveTwentyFiveEndsSilentlyAndKeepsEarlierNodes) {
    Rig rig;
    rig.camera.card = CardOf(30, 10);
    rig.camera.serialFaults.wrongCount = vc::Fault::Once().After(1);
    rig.camera.serialFaults.count = 26;
    rig.OpenSerial();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 0);
    EXPECT_TRUE(rig.user.messages.empty());
    EXPECT_EQ(list.size(), 25u);
}

TEST(ListPicturesSerial, WaitsOneHundredReadsForTheStatusThenJudgesTheAcknowledgement) {
    const struct {
        std::uint8_t acknowledgement;
        std::int32_t count;
        std::vector<std::string> messages;
    } cases[] = {{0xF2, 3, {}}, {0x06, 0, {"Unknown Problem!"}}};
    for (const auto& c : cases) {
        Rig rig;
        rig.camera.card = CardOf(3, 10);
        rig.camera.serial.acknowledgement = c.acknowledgement;
        // No status byte, and the rest only after a hundred reads have given up.
        rig.camera.serialFaults.noStatus = vc::Fault::Once();
        rig.camera.serialFaults.late = vc::Fault::Once().OnCommand(0xC1);
        rig.camera.serialFaults.lateFromByte = 1;
        rig.camera.serialFaults.lateMs = 51200;
        rig.OpenSerial();
        PictureList list;
        const auto start = rig.clock.Now();
        EXPECT_EQ(rig.link->ListPicturesSerial(list), c.count) << int{c.acknowledgement};
        EXPECT_EQ(rig.user.messages, c.messages) << int{c.acknowledgement};
        // A hundred one-byte reads of 510 ms each went by.
        EXPECT_GE(rig.clock.Now() - start, std::chrono::milliseconds(51000));
        EXPECT_EQ(rig.ports.log("COM1").readTimeouts.size(),
                  c.count ? 1u + 100 + 1 + 3 + 1 : 1u + 100);
    }
}

TEST(ListPicturesSerial, AShortRecordEndsTheListingWithTheNodesMadeSoFar) {
    Rig rig;
    rig.camera.card = CardOf(5, 10);
    rig.camera.serialFaults.shortRecord = vc::Fault::Once();
    rig.camera.serialFaults.shortRecordIndex = 3;
    rig.camera.serialFaults.shortRecordBytes = 12;
    rig.OpenSerial();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 3);
    EXPECT_EQ(Names(list), "SBCD0001/TBCD0001:10 SBCD0002/TBCD0002:10 SBCD0003/TBCD0003:10");
}

TEST(ListPicturesSerial, StopsFollowingACameraThatAlwaysHasAnotherBlock) {
    Rig rig;
    rig.camera.card = CardOf(1, 10);
    rig.camera.serial.listEnd = 0xF3;  // starts over with "another block follows"
    rig.OpenSerial();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 1);
    EXPECT_EQ(rig.ports.log("COM1").written, Bytes(2048, 0xC1));
}

TEST(ListPicturesSerial, AnEmptyCardOrAClosedPortListsNothingQuietly) {
    Rig rig;
    rig.OpenSerial();
    PictureList list;
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 0);
    EXPECT_EQ(rig.ports.log("COM1").received, (Bytes{0x06, 0xF2, 0x00, 0xF4}));

    rig.link->CloseSerialPort();
    rig.catalogue.AddPicture("OLD", 1, 1, {});
    EXPECT_EQ(rig.link->ListPicturesSerial(list), 0);
    EXPECT_EQ(rig.catalogue.count(), 1);
    EXPECT_TRUE(rig.user.messages.empty());
}

}  // namespace
}  // namespace vx
