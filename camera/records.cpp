#include "camera/records.h"

#include <algorithm>
#include <cstring>

namespace vx {
namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return v;
}

// The last four name characters: the key that pairs a picture with its thumbnail.
bool SameKey(const FileName8& a, const FileName8& b) {
    return std::equal(a.begin() + 4, a.end(), b.begin() + 4);
}

}  // namespace

FileName8 MakeFileName8(std::string_view name) {
    FileName8 out{};
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), NAME_LENGTH), out.begin());
    return out;
}

std::string ToString(const FileName8& name) {
    const auto end = std::find(name.begin(), name.end(), '\0');
    return std::string(name.begin(), end);
}

CameraFileRequest CameraFileRequest::ForDirectory(std::uint32_t offset, std::uint32_t length) {
    CameraFileRequest r;
    r.offset = offset;
    r.length = length;
    return r;
}

CameraFileRequest CameraFileRequest::ForFile(std::uint32_t offset, std::uint32_t length,
                                             const FileName8& file) {
    CameraFileRequest r = ForDirectory(offset, length);
    std::copy(file.begin(), file.end(), r.name.begin());
    std::memcpy(r.name.data() + NAME_LENGTH, "JPG", 3);
    r.name[WIRE_NAME_SIZE - 1] = '\0';
    return r;
}

std::array<std::uint8_t, CameraFileRequest::kSize> CameraFileRequest::Encode() const {
    std::array<std::uint8_t, kSize> out{};
    Put32(out.data(), reserved);
    Put32(out.data() + 4, offset);
    Put32(out.data() + 8, length);
    std::memcpy(out.data() + 12, name.data(), name.size());
    return out;
}

CameraFileRequest CameraFileRequest::Decode(std::span<const std::uint8_t, kSize> bytes) {
    CameraFileRequest r;
    r.reserved = Get32(bytes.data());
    r.offset = Get32(bytes.data() + 4);
    r.length = Get32(bytes.data() + 8);
    std::memcpy(r.name.data(), bytes.data() + 12, r.name.size());
    return r;
}

void DirectoryRecord::EncodeTo(std::span<std::uint8_t, kSize> out) const {
    std::memcpy(out.data(), name.data(), 8);
    std::memcpy(out.data() + 8, extension.data(), 3);
    out[11] = attributes;
    Put16(out.data() + 12, time);
    Put16(out.data() + 14, date);
    Put32(out.data() + 16, size);
}

DirectoryRecord DirectoryRecord::Decode(std::span<const std::uint8_t, kSize> bytes) {
    DirectoryRecord r;
    std::memcpy(r.name.data(), bytes.data(), 8);
    std::memcpy(r.extension.data(), bytes.data() + 8, 3);
    r.attributes = bytes[11];
    r.time = Get16(bytes.data() + 12);
    r.date = Get16(bytes.data() + 14);
    r.size = Get32(bytes.data() + 16);
    return r;
}

std::uint32_t DirectoryBlock::RecordCount() const {
    // A count above 25 would describe records beyond the block's end.
    return std::min<std::uint32_t>(bytes[DIR_COUNT_OFFSET], DIR_RECORDS_MAX);
}

DirectoryRecord DirectoryBlock::Record(std::uint32_t index) const {
    const std::size_t at = DIR_HEADER_SIZE + std::size_t{index} * DIR_RECORD_SIZE;
    return DirectoryRecord::Decode(std::span<const std::uint8_t, DirectoryRecord::kSize>(
        bytes.data() + at, DirectoryRecord::kSize));
}

PictureNode NodeFromRecord(const DirectoryRecord& record) {
    PictureNode node;
    node.pictureName = record.name;
    node.pictureName[0] = 'S';
    node.thumbnailName = record.name;
    node.thumbnailName[0] = 'T';
    node.time = record.time;
    node.date = record.date;
    node.pictureSize = record.size;
    node.thumbnailReadSize = THUMBNAIL_READ_SIZE;
    return node;
}

bool MergeRecord(PictureList& list, const DirectoryRecord& record) {
    const PictureNode fresh = NodeFromRecord(record);
    bool created = false;
    auto byPicture = std::find_if(list.begin(), list.end(), [&](const PictureNode& n) {
        return SameKey(n.pictureName, fresh.pictureName);
    });
    if (byPicture == list.end()) {
        PictureNode node;
        node.thumbnailName = fresh.thumbnailName;
        node.thumbnailReadSize = fresh.thumbnailReadSize;
        list.push_back(node);
        created = true;
    } else {
        byPicture->thumbnailName = fresh.thumbnailName;
        byPicture->thumbnailReadSize = fresh.thumbnailReadSize;
    }
    // The node that now carries this thumbnail key is the one just found or made.
    auto byThumbnail = std::find_if(list.begin(), list.end(), [&](const PictureNode& n) {
        return SameKey(n.thumbnailName, fresh.thumbnailName);
    });
    byThumbnail->pictureName = fresh.pictureName;
    byThumbnail->pictureSize = fresh.pictureSize;
    byThumbnail->time = fresh.time;
    byThumbnail->date = fresh.date;
    return created;
}

}  // namespace vx
