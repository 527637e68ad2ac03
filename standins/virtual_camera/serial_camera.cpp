#include "standins/virtual_camera/serial_camera.h"

#include <algorithm>
#include <cstring>

namespace vx::virtualcam {
namespace {

constexpr std::size_t kNameBytes = 12;
constexpr std::uint32_t kBlock = 512;
constexpr std::size_t kRecordsPerBlock = 25;
// A select name that stops arriving is given up, so the next command is heard as one.
constexpr std::chrono::milliseconds kNamePatience(500);

}  // namespace

void SerialCamera::Receive(std::uint8_t byte, std::chrono::nanoseconds at) {
    if (receivingName_ && at - nameLast_ > kNamePatience)
        receivingName_ = false;
    if (receivingName_) {
        nameBytes_.push_back(static_cast<char>(byte));
        nameLast_ = at;
        if (nameBytes_.size() == kNameBytes) {
            receivingName_ = false;
            selected_.reset();
            if (nameBytes_.compare(8, 4, "JPG ") == 0)
                selected_ = nameBytes_.substr(0, 8) + ".JPG";
            nextBlock_ = 0;
            lastBlock_.reset();
            Answer(kCmdSelect, {acknowledgement}, at);
        }
        return;
    }
    commands_.push_back(byte);
    if (byte != kCmdList)
        listBlock_ = 0;  // anything else ends a listing in progress
    switch (byte) {
        case kCmdProbe:
            Probe(at);
            break;
        case kCmdList:
            List(at);
            break;
        case kCmdSelect:
            receivingName_ = true;
            nameBytes_.clear();
            nameLast_ = at;
            Answer(kCmdSelect, {acknowledgement}, at);
            break;
        case kCmdDelete:
            Delete(at);
            break;
        case kCmdNextBlock:
        case kCmdResendBlock:
            Block(byte, at);
            break;
        default:
            break;  // not a command: the camera keeps quiet
    }
}

void SerialCamera::Answer(std::uint8_t command, std::vector<std::uint8_t> bytes,
                          std::chrono::nanoseconds at) {
    // A silent camera has acted on the command; only its answer is lost.
    if (faults_.silent.Strike(command))
        return;
    std::size_t lateFrom = bytes.size();
    if (faults_.late.Strike(command))
        lateFrom = faults_.lateFromByte;
    const std::chrono::nanoseconds start = std::max(at, lineFree_);
    std::chrono::nanoseconds pause{0};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == lateFrom)
            pause = std::chrono::milliseconds(faults_.lateMs);
        output_.push_back({bytes[i], start + pause + line_.Bytes(i + 1)});
    }
    if (!bytes.empty())
        lineFree_ = output_.back().at;
}

bool SerialCamera::Status(std::uint8_t command, std::vector<std::uint8_t>& bytes,
                          std::uint8_t status) {
    bytes.push_back(acknowledgement);
    if (faults_.noStatus.Strike(command))
        return true;
    if (faults_.badStatus.Strike(command)) {
        bytes.push_back(faults_.status);
        return false;
    }
    bytes.push_back(status);
    return status == kReplyData;
}

void SerialCamera::Probe(std::chrono::nanoseconds at) {
    if (faults_.noProbeAnswer.Strike(kCmdProbe))
        return;
    const bool wrong = faults_.wrongProbeAnswer.Strike(kCmdProbe);
    Answer(kCmdProbe, {wrong ? faults_.probeAnswer : kReplyProbe}, at);
}

void SerialCamera::List(std::chrono::nanoseconds at) {
    std::vector<std::uint8_t> bytes;
    if (!Status(kCmdList, bytes, kReplyData)) {
        listBlock_ = 0;
        Answer(kCmdList, std::move(bytes), at);
        return;
    }
    const std::vector<CardRecord> records = card_.Directory();
    const std::size_t first = listBlock_ * kRecordsPerBlock;
    const std::size_t count =
        first < records.size() ? std::min(kRecordsPerBlock, records.size() - first) : 0;
    const bool more = first + count < records.size();
    bytes.push_back(faults_.wrongCount.Strike(kCmdList) ? faults_.count
                                                        : static_cast<std::uint8_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t record[CardRecord::kSize];
        records[first + i].WriteTo(record);
        if (i == faults_.shortRecordIndex && faults_.shortRecord.Strike(kCmdList)) {
            const std::size_t n = std::min<std::size_t>(faults_.shortRecordBytes, sizeof record);
            bytes.insert(bytes.end(), record, record + n);
            listBlock_ = 0;
            Answer(kCmdList, std::move(bytes), at);
            return;
        }
        bytes.insert(bytes.end(), record, record + sizeof record);
    }
    bytes.push_back(more ? kReplyMore : listEnd);
    listBlock_ = more ? listBlock_ + 1 : 0;
    Answer(kCmdList, std::move(bytes), at);
}

void SerialCamera::Delete(std::chrono::nanoseconds at) {
    std::vector<std::uint8_t> bytes{acknowledgement};
    if (faults_.badStatus.Strike(kCmdDelete)) {
        bytes.push_back(faults_.status);  // the card is in trouble: nothing is deleted
    } else {
        const bool deleted = selected_ && card_.DeletePicture(*selected_);
        if (deleted)
            selected_.reset();
        if (!faults_.noStatus.Strike(kCmdDelete)) {
            bytes.push_back(deleted ? kReplyData : kErrCardAccess);
        }
    }
    Answer(kCmdDelete, std::move(bytes), at);
}

void SerialCamera::Block(std::uint8_t command, std::chrono::nanoseconds at) {
    std::uint32_t block = 0;
    if (command == kCmdResendBlock && lastBlock_) {
        block = *lastBlock_;
    } else {
        block = nextBlock_++;
    }
    lastBlock_ = block;
    const std::vector<std::uint8_t>* file = selected_ ? card_.Find(*selected_) : nullptr;
    const std::uint64_t offset = std::uint64_t{block} * kBlock;
    const bool exists = file != nullptr && offset < file->size();

    std::vector<std::uint8_t> bytes;
    if (!Status(command, bytes, exists ? kReplyData : kErrCardAccess) || !exists) {
        Answer(command, std::move(bytes), at);
        return;
    }
    // The last block of a file travels whole, zero beyond the file's end.
    std::uint8_t data[kBlock] = {};
    const std::size_t n = std::min<std::size_t>(kBlock, file->size() - offset);
    std::memcpy(data, file->data() + offset, n);
    if (faults_.shortBlock.Strike(command)) {
        bytes.insert(bytes.end(), data, data + std::min(faults_.shortBlockBytes, kBlock));
        Answer(command, std::move(bytes), at);
        return;
    }
    bytes.insert(bytes.end(), data, data + kBlock);
    bytes.push_back(faults_.wrongTrailer.Strike(command) ? faults_.trailer : kReplyBlockEnd);
    Answer(command, std::move(bytes), at);
}

}  // namespace vx::virtualcam
