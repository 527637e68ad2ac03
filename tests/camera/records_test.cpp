// Byte layouts of the protocol records and the rules that make listing nodes.

#include <gtest/gtest.h>

#include "camera/records.h"
#include "tests/camera/camera_rig.h"

namespace vx {
namespace {

using testing::Bytes;
using testing::Names;

TEST(CameraFileRequest, EncodesLittleEndianFieldsAndTheWireName) {
    const auto file = CameraFileRequest::ForFile(0x01020304, 4096, MakeFileName8("SBCD0001"));
    const Bytes expected = {0,   0,   0,   0,   0x04, 0x03, 0x02, 0x01, 0x00, 0x10, 0,   0,
                            'S', 'B', 'C', 'D', '0',  '0',  '0',  '1',  'J',  'P',  'G', 0};
    const auto encoded = file.Encode();
    EXPECT_EQ(Bytes(encoded.begin(), encoded.end()), expected);

    const auto directory = CameraFileRequest::ForDirectory(512, 512).Encode();
    const Bytes expectedDirectory = {0, 0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0,
                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(directory.begin(), directory.end()), expectedDirectory);
}

TEST(DirectoryRecord, DecodesTheTwentyBytesFieldByField) {
    const Bytes bytes = {'A', 'B',  'C',  'D',  '0',  '0',  '0',  '1',  'J',  'P',
                         'G', 0x20, 0x34, 0x12, 0x78, 0x56, 0x10, 0x27, 0x00, 0x80};
    const DirectoryRecord r =
        DirectoryRecord::Decode(std::span<const std::uint8_t, 20>(bytes.data(), 20));
    EXPECT_EQ(ToString(r.name), "ABCD0001");
    EXPECT_EQ(r.attributes, 0x20);
    EXPECT_EQ(r.time, 0x1234);
    EXPECT_EQ(r.date, 0x5678);
    EXPECT_EQ(r.size, 0x80002710u);

    std::array<std::uint8_t, 20> again{};
    r.EncodeTo(again);
    EXPECT_EQ(Bytes(again.begin(), again.end()), bytes);
}

TEST(DirectoryBlock, NeverCountsMoreRecordsThanTheBlockHolds) {
    const struct {
        std::uint8_t announced;
        std::uint32_t counted;
    } cases[] = {{0, 0}, {1, 1}, {25, 25}, {26, 25}, {255, 25}};
    for (const auto& c : cases) {
        DirectoryBlock block;
        block.bytes[10] = c.announced;
        EXPECT_EQ(block.RecordCount(), c.counted) << "announced " << int{c.announced};
    }
}

DirectoryRecord Record(const char* name, std::uint32_t size, std::uint16_t time = 0) {
    DirectoryRecord r;
    r.name = MakeFileName8(name);
    r.size = size;
    r.time = time;
    r.date = static_cast<std::uint16_t>(time + 1);
    return r;
}

TEST(PictureNode, TakesItsFirstLettersFromTheRoleNotFromTheCamera) {
    const PictureNode node = NodeFromRecord(Record("ABCD0001", 123456, 7));
    EXPECT_EQ(ToString(node.pictureName), "SBCD0001");
    EXPECT_EQ(ToString(node.thumbnailName), "TBCD0001");
    EXPECT_EQ(node.pictureSize, 123456u);
    EXPECT_EQ(node.time, 7);
    EXPECT_EQ(node.date, 8);
    EXPECT_EQ(node.thumbnailReadSize, 28672u);
}

TEST(MergeRecord, KeepsOneNodePerLastFourCharactersInFirstAppearanceOrder) {
    PictureList list;
    EXPECT_TRUE(MergeRecord(list, Record("S1230001", 100, 1)));
    EXPECT_TRUE(MergeRecord(list, Record("S1230002", 200, 2)));
    // Same last four characters as the first: it takes over that node.
    EXPECT_FALSE(MergeRecord(list, Record("S4560001", 300, 3)));
    EXPECT_EQ(Names(list), "S4560001/T4560001:300 S1230002/T1230002:200");
    EXPECT_EQ(list[0].time, 3);
    EXPECT_EQ(list[0].date, 4);
}

}  // namespace
}  // namespace vx
