#pragma once
// The serial port as the camera link uses it: open by name, line settings, the
// time-outs of one direction, blocking write and read, purge. The Windows build
// implements it over the COM port calls, tests over the virtual camera's line.
// Destroying a port closes it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vx {

// The line settings the link changes. Every other setting of the port stays as the
// port had it: the implementation keeps them between GetLineSettings and SetLineSettings.
struct LineSettings {
    static constexpr std::uint8_t kNoParity = 0;
    static constexpr std::uint8_t kOneStopBit = 0;
    static constexpr std::uint8_t kTwoStopBits = 2;

    std::uint32_t baudRate = 0;
    std::uint8_t byteSize = 0;
    std::uint8_t parity = kNoParity;
    std::uint8_t stopBits = kOneStopBit;

    bool operator==(const LineSettings&) const = default;
};

// Total time-out of a transfer of n bytes: multiplier * n + constant milliseconds.
struct WriteTimeouts {
    std::uint32_t multiplierMs = 0;
    std::uint32_t constantMs = 0;
    bool operator==(const WriteTimeouts&) const = default;
};
struct ReadTimeouts {
    std::uint32_t intervalMs = 0;  // 0: no limit between bytes
    std::uint32_t multiplierMs = 0;
    std::uint32_t constantMs = 0;
    bool operator==(const ReadTimeouts&) const = default;
};

// Purge flags, with the platform's values.
enum PurgeFlags : std::uint32_t {
    kPurgeTxAbort = 0x1,
    kPurgeRxAbort = 0x2,
    kPurgeTxClear = 0x4,
    kPurgeRxClear = 0x8,
    kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear,
};

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual bool GetLineSettings(LineSettings& settings) = 0;
    virtual bool SetLineSettings(const LineSettings& settings) = 0;
    // Each sets its own direction only.
    virtual bool SetWriteTimeouts(const WriteTimeouts& timeouts) = 0;
    virtual bool SetReadTimeouts(const ReadTimeouts& timeouts) = 0;
    // Blocks until every byte moved or the time-out ran out. `done` receives the
    // bytes moved; a read changes nothing in `bytes` beyond what it received.
    virtual bool Write(std::span<const std::uint8_t> bytes, std::uint32_t& done) = 0;
    virtual bool Read(std::span<std::uint8_t> bytes, std::uint32_t& done) = 0;
    virtual bool Purge(std::uint32_t flags) = 0;
};

// Opens ports by name ("COM1"): read and write, not shared, existing devices only.
class SerialPortSystem {
  public:
    virtual ~SerialPortSystem() = default;
    // Null when the port cannot be opened.
    virtual std::unique_ptr<SerialPort> Open(const std::string& name) = 0;
};

}  // namespace vx
