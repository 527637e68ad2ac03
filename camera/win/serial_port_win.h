#pragma once
// The camera link's serial port over the platform's COM port calls: CreateFileA,
// GetCommState/SetCommState, SetCommTimeouts, PurgeComm, blocking ReadFile/WriteFile.

#include <memory>
#include <string>

#include "camera/serial_port.h"

namespace vx {

class WinSerialPortSystem final : public SerialPortSystem {
  public:
    // "COM1", "COM2": read and write, not shared, existing devices only.
    std::unique_ptr<SerialPort> Open(const std::string& name) override;
};

}  // namespace vx
