#pragma once
// The camera as its still-image driver presents it over USB: the device lock, the
// status query and the vendor escapes with their records. It keeps a log of every call
// so a test can see exactly what the host asked, and a list of contract breaches (an
// escape outside the lock, an unlock of an unlocked device).
//
// Transport-free: in-process tests wrap it in the link's device interface, a stand-in
// sti.dll wraps it in the platform's.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "standins/virtual_camera/card.h"
#include "standins/virtual_camera/faults.h"

namespace vx::virtualcam {

inline constexpr std::uint32_t kEscDirLength = 0x1002;
inline constexpr std::uint32_t kEscDirBlock = 0x1003;
inline constexpr std::uint32_t kEscFileBlock = 0x1004;
inline constexpr std::uint32_t kEscBlockRecover = 0x1009;
inline constexpr std::uint32_t kEscDeleteFile = 0x1010;

struct UsbCall {
    enum class Kind { Lock, Unlock, Subscribe, UnSubscribe, Reset, GetStatus, Escape };
    Kind kind = Kind::Escape;
    bool succeeded = false;
    std::uint32_t code = 0;           // escapes
    std::vector<std::uint8_t> input;  // escapes
    std::uint32_t outputSize = 0;     // escapes: room given
    std::uint32_t actual = 0;         // escapes: bytes delivered
};

class UsbCamera {
  public:
    UsbCamera(Card& card, UsbFaults& faults) : card_(card), faults_(faults) {}

    bool Lock();
    bool Unlock();
    bool Subscribe();
    bool UnSubscribe();
    bool Reset();
    bool GetStatus();
    // Never writes beyond `output`; `actual` is the count written.
    bool Escape(std::uint32_t code, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output, std::uint32_t& actual);

    bool locked() const { return locked_; }
    const std::vector<UsbCall>& calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    int CountEscapes(std::uint32_t code) const;
    const std::vector<std::string>& breaches() const { return breaches_; }

    // The directory length the camera reports for its card: whole blocks of 25
    // records, then a block header and the remaining records.
    std::uint32_t DirectoryLength() const;

  private:
    bool Log(UsbCall::Kind kind, bool succeeded);
    bool DirBlock(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                  std::uint32_t& actual);
    bool FileBlock(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                   std::uint32_t& actual);
    bool DeleteFile(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                    std::uint32_t& actual);

    Card& card_;
    UsbFaults& faults_;
    bool locked_ = false;
    std::vector<UsbCall> calls_;
    std::vector<std::string> breaches_;
};

}  // namespace vx::virtualcam
