#pragma once
// The camera's serial side: it takes the host's bytes as they arrive and schedules its
// answers on its own line, each byte stamped with the moment its last bit reaches the
// host. Whoever carries the bytes decides what to do with the stamps: the in-process
// port lets a simulated clock jump to them, a pseudo-terminal program may wait for
// them in real time or ignore them.
//
// The camera answers one command at a time, in order; a command that arrives while it
// is still sending is answered after the answer before it.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "standins/virtual_camera/card.h"
#include "standins/virtual_camera/faults.h"
#include "standins/virtual_camera/line_timing.h"

namespace vx::virtualcam {

inline constexpr std::uint8_t kCmdProbe = 0xB1;
inline constexpr std::uint8_t kCmdList = 0xC1;
inline constexpr std::uint8_t kCmdSelect = 0xC2;
inline constexpr std::uint8_t kCmdDelete = 0xC3;
inline constexpr std::uint8_t kCmdNextBlock = 0xC4;
inline constexpr std::uint8_t kCmdResendBlock = 0xC5;
inline constexpr std::uint8_t kReplyProbe = 0xD1;
inline constexpr std::uint8_t kReplyData = 0xF2;
inline constexpr std::uint8_t kReplyMore = 0xF3;
inline constexpr std::uint8_t kReplyBlockEnd = 0xF4;
inline constexpr std::uint8_t kErrCardAccess = 0xE3;

struct TimedByte {
    std::uint8_t value = 0;
    std::chrono::nanoseconds at{};  // when the byte has fully arrived at the host
};

class SerialCamera {
  public:
    SerialCamera(Card& card, SerialFaults& faults, LineTiming line = {})
        : card_(card), faults_(faults), line_(line) {}

    // A byte from the host, fully arrived at the camera at `at`.
    void Receive(std::uint8_t byte, std::chrono::nanoseconds at);

    // Answer bytes not yet taken by the carrier, in order of arrival.
    std::deque<TimedByte>& output() { return output_; }

    // The acknowledgement byte the camera sends for every command but the probe.
    std::uint8_t acknowledgement = 0x06;
    // The byte after the last directory block (anything but REPLY_MORE).
    std::uint8_t listEnd = kReplyBlockEnd;

    // Every command byte received, in order (select names excluded).
    const std::vector<std::uint8_t>& commands() const { return commands_; }
    // The file selected by the last select command, if any.
    const std::optional<std::string>& selected() const { return selected_; }
    const LineTiming& line() const { return line_; }

  private:
    void Answer(std::uint8_t command, std::vector<std::uint8_t> bytes, std::chrono::nanoseconds at);
    void Probe(std::chrono::nanoseconds at);
    void List(std::chrono::nanoseconds at);
    void Select(std::chrono::nanoseconds at);
    void Delete(std::chrono::nanoseconds at);
    void Block(std::uint8_t command, std::chrono::nanoseconds at);
    // The acknowledgement, then the status (unless a fault changes or drops it). False
    // when the status is not REPLY_DATA: the answer ends there.
    bool Status(std::uint8_t command, std::vector<std::uint8_t>& bytes, std::uint8_t status);

    Card& card_;
    SerialFaults& faults_;
    LineTiming line_;
    std::deque<TimedByte> output_;
    std::chrono::nanoseconds lineFree_{0};  // when the camera's sending side is free again
    std::vector<std::uint8_t> commands_;

    std::string nameBytes_;  // the select command's name, while it arrives
    bool receivingName_ = false;
    std::chrono::nanoseconds nameLast_{0};
    std::size_t listBlock_ = 0;  // the directory block the next CMD_LIST sends
    std::optional<std::string> selected_;
    std::uint32_t nextBlock_ = 0;
    std::optional<std::uint32_t> lastBlock_;
};

}  // namespace vx::virtualcam
