#pragma once
// One serial transfer at a time, each with its own time-out: the caller gives the
// constant part, the per-byte part is SERIAL_MS_PER_BYTE. A transfer sets the
// time-outs of its own direction before it moves a byte.

#include <cstdint>
#include <span>

#include "camera/serial_port.h"

namespace vx {

// True when the write succeeded; `written` receives the bytes sent.
bool SerialWrite(SerialPort& port, std::span<const std::uint8_t> bytes, std::uint32_t& written,
                 std::uint32_t constantMs);

// Returns the number of bytes that arrived before the time-out (0 when none); the rest
// of `bytes` keeps what it held. Callers judge a read by this count alone.
std::uint32_t SerialRead(SerialPort& port, std::span<std::uint8_t> bytes, std::uint32_t constantMs);

// Writes one byte with the single-byte constant; true when it went out.
bool SerialWriteByte(SerialPort& port, std::uint8_t byte);
// Reads one byte into `byte` with the single-byte constant; true when one came.
bool SerialReadByte(SerialPort& port, std::uint8_t& byte);

}  // namespace vx
