#pragma once
// Fault switches of the virtual camera as text, so a stand-in started by a test (the
// sti.dll, the serial pseudo-terminal program) can be told how to misbehave from an
// environment variable, a registry value or its command line.
//
// A switch list is "name=value" items separated by commas:
//   busy=always,blockFails=3,shortBytes=1000,badStatus=once@0xC3
// A fault takes a count ("once", "always", or a number of occasions), optionally
// limited to the answers of one serial command byte with "@byte". Every other name is a
// number (decimal or 0x hexadecimal). The names are the fields of UsbFaults and
// SerialFaults.

#include <string>
#include <string_view>

#include "standins/virtual_camera/faults.h"

namespace vx::virtualcam {

// False with a reason in `error` on an unknown name or a malformed value; the switches
// before the bad one are already applied.
bool ParseUsbFaults(std::string_view text, UsbFaults& faults, std::string& error);
bool ParseSerialFaults(std::string_view text, SerialFaults& faults, std::string& error);

}  // namespace vx::virtualcam
