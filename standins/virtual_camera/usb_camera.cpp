#include "standins/virtual_camera/usb_camera.h"

#include <algorithm>
#include <cstring>

namespace vx::virtualcam {
namespace {

constexpr std::uint32_t kBlock = 512;
constexpr std::uint32_t kRecordsPerBlock = 25;
constexpr std::size_t kRequestSize = 24;

std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct Request {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::string file;  // "S1234567.JPG", empty when the name field is not a file name
};

// The 24-byte request; the name must be 8 characters, "JPG" and a zero byte.
bool ParseRequest(std::span<const std::uint8_t> input, Request& request) {
    if (input.size() != kRequestSize)
        return false;
    request.offset = Get32(input.data() + 4);
    request.length = Get32(input.data() + 8);
    const char* name = reinterpret_cast<const char*>(input.data() + 12);
    const bool printable = std::all_of(name, name + 8, [](char c) { return c > ' ' && c < 127; });
    if (printable && std::memcmp(name + 8, "JPG", 4) == 0) {  // includes the zero byte
        request.file = std::string(name, 8) + ".JPG";
    }
    return true;
}

}  // namespace

bool UsbCamera::Log(UsbCall::Kind kind, bool succeeded) {
    UsbCall call;
    call.kind = kind;
    call.succeeded = succeeded;
    calls_.push_back(std::move(call));
    return succeeded;
}

bool UsbCamera::Lock() {
    if (locked_ || faults_.busy.Strike())
        return Log(UsbCall::Kind::Lock, false);
    locked_ = true;
    return Log(UsbCall::Kind::Lock, true);
}

bool UsbCamera::Unlock() {
    if (!locked_)
        breaches_.push_back("unlock without a lock");
    locked_ = false;
    return Log(UsbCall::Kind::Unlock, true);
}

bool UsbCamera::Subscribe() {
    return Log(UsbCall::Kind::Subscribe, true);
}
bool UsbCamera::UnSubscribe() {
    return Log(UsbCall::Kind::UnSubscribe, true);
}
bool UsbCamera::Reset() {
    return Log(UsbCall::Kind::Reset, true);
}

bool UsbCamera::GetStatus() {
    if (!locked_)
        breaches_.push_back("status query without a lock");
    return Log(UsbCall::Kind::GetStatus, !faults_.statusFails.Strike());
}

std::uint32_t UsbCamera::DirectoryLength() const {
    const auto records = static_cast<std::uint32_t>(card_.Directory().size());
    return kBlock * (records / kRecordsPerBlock) + 12 + 20 * (records % kRecordsPerBlock);
}

bool UsbCamera::Escape(std::uint32_t code, std::span<const std::uint8_t> input,
                       std::span<std::uint8_t> output, std::uint32_t& actual) {
    actual = 0;
    if (!locked_)
        breaches_.push_back("escape without a lock");
    bool ok = false;
    switch (code) {
        case kEscDirLength:
            if (input.empty() && output.size() >= 4 && !faults_.dirLengthFails.Strike()) {
                const std::uint32_t length = faults_.directoryLength.value_or(DirectoryLength());
                for (int i = 0; i < 4; ++i)
                    output[i] = static_cast<std::uint8_t>(length >> (8 * i));
                actual = 4;
                ok = true;
            }
            break;
        case kEscDirBlock:
            ok = DirBlock(input, output, actual);
            break;
        case kEscFileBlock:
            ok = FileBlock(input, output, actual);
            break;
        case kEscBlockRecover:
            ok = input.size() == 4 && Get32(input.data()) == 1;
            break;
        case kEscDeleteFile:
            ok = DeleteFile(input, output, actual);
            break;
        default:
            break;
    }
    UsbCall call;
    call.kind = UsbCall::Kind::Escape;
    call.succeeded = ok;
    call.code = code;
    call.input.assign(input.begin(), input.end());
    call.outputSize = static_cast<std::uint32_t>(output.size());
    call.actual = actual;
    calls_.push_back(std::move(call));
    return ok;
}

bool UsbCamera::DirBlock(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                         std::uint32_t& actual) {
    Request request;
    if (!ParseRequest(input, request) || request.offset % kBlock != 0)
        return false;
    if (faults_.dirBlockFails.Strike())
        return false;

    std::uint8_t block[kBlock] = {};
    // The header's other bytes mean something to the camera only; they are not zero.
    std::memcpy(block, "VXDIRBLOCK", 10);
    block[11] = 0xFF;
    const std::vector<CardRecord> records = card_.Directory();
    const std::size_t first = std::size_t{request.offset / kBlock} * kRecordsPerBlock;
    const std::size_t count = first < records.size()
                                  ? std::min<std::size_t>(kRecordsPerBlock, records.size() - first)
                                  : 0;
    block[10] = faults_.recordCount.value_or(static_cast<std::uint8_t>(count));
    for (std::size_t i = 0; i < count; ++i)
        records[first + i].WriteTo(block + 12 + 20 * i);

    actual = static_cast<std::uint32_t>(
        std::min<std::size_t>({std::size_t{kBlock}, std::size_t{request.length}, output.size()}));
    if (actual > 0)
        std::memcpy(output.data(), block, actual);
    return true;
}

bool UsbCamera::FileBlock(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                          std::uint32_t& actual) {
    Request request;
    if (!ParseRequest(input, request) || request.file.empty())
        return false;
    const std::vector<std::uint8_t>* file = card_.Find(request.file);
    if (file == nullptr)
        return false;
    if (faults_.blockFails.Strike())
        return false;

    const std::size_t available = request.offset < file->size() ? file->size() - request.offset : 0;
    std::size_t n = std::min<std::size_t>({std::size_t{request.length}, output.size(), available});
    if (faults_.blockShort.Strike())
        n = std::min<std::size_t>(n, faults_.shortBytes);
    if (n > 0)
        std::memcpy(output.data(), file->data() + request.offset, n);
    actual = static_cast<std::uint32_t>(n);
    return true;
}

bool UsbCamera::DeleteFile(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                           std::uint32_t& actual) {
    Request request;
    if (!ParseRequest(input, request) || request.file.empty())
        return false;
    if (faults_.deleteFails.Strike())
        return false;
    if (!card_.DeletePicture(request.file))
        return false;
    const std::size_t n = std::min<std::size_t>(4, output.size());
    std::fill_n(output.begin(), n, 0);
    actual = static_cast<std::uint32_t>(n);
    return true;
}

int UsbCamera::CountEscapes(std::uint32_t code) const {
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const UsbCall& c) {
        return c.kind == UsbCall::Kind::Escape && c.code == code;
    }));
}

}  // namespace vx::virtualcam
