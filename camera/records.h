#pragma once
// The records the camera and the system exchange, with their byte layouts. Every
// multi-byte field is little-endian on the wire; records are encoded and decoded byte
// by byte so the layout does not depend on the host's struct packing or byte order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "camera/constants.h"

namespace vx {

// An 8-character camera file name ("S1234567"), not terminated.
using FileName8 = std::array<char, NAME_LENGTH>;

// The first eight characters of `name`, zero-filled when it is shorter.
FileName8 MakeFileName8(std::string_view name);
// The name as a terminated string (stops at a zero byte).
std::string ToString(const FileName8& name);

// Input of ESC_DIR_BLOCK, ESC_FILE_BLOCK and ESC_DELETE_FILE, 24 bytes:
//   0  4  reserved, 0
//   4  4  byte offset into the file or directory
//   8  4  bytes asked for
//  12 12  name: 8 characters, "JPG", a zero byte; all zero for the directory
struct CameraFileRequest {
    static constexpr std::size_t kSize = 24;

    std::uint32_t reserved = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::array<char, WIRE_NAME_SIZE> name{};

    // A request for the directory (empty name) or for the named file.
    static CameraFileRequest ForDirectory(std::uint32_t offset, std::uint32_t length);
    static CameraFileRequest ForFile(std::uint32_t offset, std::uint32_t length,
                                     const FileName8& file);

    std::array<std::uint8_t, kSize> Encode() const;
    static CameraFileRequest Decode(std::span<const std::uint8_t, kSize> bytes);
};

// One directory entry, 20 bytes, the same over USB and serial:
//   0 8 base name   8 3 extension   11 1 attributes   12 2 time   14 2 date   16 4 size
struct DirectoryRecord {
    static constexpr std::size_t kSize = DIR_RECORD_SIZE;

    FileName8 name{};
    std::array<char, 3> extension{};
    std::uint8_t attributes = 0;
    std::uint16_t time = 0;  // FAT directory encoding
    std::uint16_t date = 0;
    std::uint32_t size = 0;

    void EncodeTo(std::span<std::uint8_t, kSize> out) const;
    static DirectoryRecord Decode(std::span<const std::uint8_t, kSize> bytes);
};

// A 512-byte USB directory block: bytes 0-9 and 11 carry nothing the system uses,
// byte 10 is the number of records, the records follow from byte 12.
struct DirectoryBlock {
    std::array<std::uint8_t, DIR_BLOCK_SIZE> bytes{};

    // The announced count, but never more than the 25 records a block can hold.
    std::uint32_t RecordCount() const;
    DirectoryRecord Record(std::uint32_t index) const;  // index < RecordCount()
};

// One picture found by a listing. The picture and thumbnail names share their last
// seven characters; the first is "S" for the picture and "T" for the thumbnail, never
// the letter the camera's directory shows.
struct PictureNode {
    FileName8 pictureName{};
    FileName8 thumbnailName{};
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    std::uint32_t pictureSize = 0;
    std::uint32_t thumbnailReadSize = 0;
};

// The nodes of a listing in list order; the vector stands for the nodes' links and
// frees them all when the caller is done.
using PictureList = std::vector<PictureNode>;

// A new node from one record: both names, size, time and date, the thumbnail read size.
PictureNode NodeFromRecord(const DirectoryRecord& record);

// Serial listings merge records by the last four characters of the name. Returns true
// when the record made a new node, false when it updated an earlier one.
bool MergeRecord(PictureList& list, const DirectoryRecord& record);

}  // namespace vx
