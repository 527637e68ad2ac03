#include "camera/serial_io.h"

#include "camera/constants.h"

namespace vx {

bool SerialWrite(SerialPort& port, std::span<const std::uint8_t> bytes, std::uint32_t& written,
                 std::uint32_t constantMs) {
    written = 0;
    port.SetWriteTimeouts({SERIAL_MS_PER_BYTE, constantMs});
    return port.Write(bytes, written);
}

std::uint32_t SerialRead(SerialPort& port, std::span<std::uint8_t> bytes,
                         std::uint32_t constantMs) {
    std::uint32_t received = 0;
    port.SetReadTimeouts({0, SERIAL_MS_PER_BYTE, constantMs});
    port.Read(bytes, received);
    // A port that claims more than it was given room for is believed only up to the room.
    return received <= bytes.size() ? received : static_cast<std::uint32_t>(bytes.size());
}

bool SerialWriteByte(SerialPort& port, std::uint8_t byte) {
    std::uint32_t written = 0;
    return SerialWrite(port, std::span<const std::uint8_t>(&byte, 1), written,
                       SERIAL_BYTE_CONSTANT_MS);
}

bool SerialReadByte(SerialPort& port, std::uint8_t& byte) {
    return SerialRead(port, std::span<std::uint8_t>(&byte, 1), SERIAL_BYTE_CONSTANT_MS) == 1;
}

}  // namespace vx
