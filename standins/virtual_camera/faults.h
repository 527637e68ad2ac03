#pragma once
// The ways the virtual camera can be told to misbehave. Each switch strikes a number
// of times (the next occasions it could) or always; a struck switch counts down.

#include <cstdint>
#include <optional>

namespace vx::virtualcam {

class Fault {
  public:
    static constexpr int kAlways = -1;

    Fault() = default;
    static Fault Times(int n) { return Fault(n); }
    static Fault Once() { return Fault(1); }
    static Fault Always() { return Fault(kAlways); }

    // Lets the first `occasions` occasions pass before the fault starts to strike.
    Fault& After(int occasions) {
        skip_ = occasions;
        return *this;
    }
    // Serial faults may be limited to the answers of one command byte.
    Fault& OnCommand(std::uint8_t command) {
        command_ = command;
        return *this;
    }

    bool armed() const { return remaining_ != 0; }
    // True when the fault strikes on this occasion (and counts it).
    bool Strike(std::uint8_t command = 0) {
        if (remaining_ == 0)
            return false;
        if (command_ != 0 && command != command_)
            return false;
        if (skip_ > 0) {
            --skip_;
            return false;
        }
        if (remaining_ > 0)
            --remaining_;
        return true;
    }

  private:
    explicit Fault(int n) : remaining_(n) {}
    int remaining_ = 0;
    int skip_ = 0;
    std::uint8_t command_ = 0;  // 0: any command
};

struct UsbFaults {
    Fault busy;            // LockDevice fails: another user holds the camera
    Fault statusFails;     // GetStatus fails
    Fault dirLengthFails;  // ESC_DIR_LENGTH fails
    Fault dirBlockFails;   // ESC_DIR_BLOCK fails and writes nothing
    Fault blockShort;      // ESC_FILE_BLOCK succeeds with only shortBytes delivered
    std::uint32_t shortBytes = 1000;
    Fault blockFails;   // ESC_FILE_BLOCK fails, delivering nothing
    Fault deleteFails;  // ESC_DELETE_FILE fails, deleting nothing
    // Answered instead of the card's own values.
    std::optional<std::uint32_t> directoryLength;
    std::optional<std::uint8_t> recordCount;  // byte 10 of every directory block
};

struct SerialFaults {
    Fault noProbeAnswer;
    Fault wrongProbeAnswer;
    std::uint8_t probeAnswer = 0x00;
    // The camera acts on the command but its answer is lost: nothing comes back.
    Fault silent;
    // A status byte other than REPLY_DATA (listing, block, delete), then nothing more.
    Fault badStatus;
    std::uint8_t status = 0xE1;
    // The status byte is left out of the answer.
    Fault noStatus;
    // The listing's record count byte says this instead of the real count.
    Fault wrongCount;
    std::uint8_t count = 26;
    // Record `shortRecordIndex` of a directory block stops after shortRecordBytes
    // bytes, and the answer with it.
    Fault shortRecord;
    std::uint32_t shortRecordIndex = 0;
    std::uint32_t shortRecordBytes = 10;
    // A file block stops after shortBlockBytes data bytes, without a trailer.
    Fault shortBlock;
    std::uint32_t shortBlockBytes = 100;
    // A file block ends with this byte instead of REPLY_BLOCK_END.
    Fault wrongTrailer;
    std::uint8_t trailer = 0x00;
    // The answer pauses for lateMs before its byte number lateFromByte.
    Fault late;
    std::uint32_t lateMs = 600;
    std::uint32_t lateFromByte = 0;
};

}  // namespace vx::virtualcam
