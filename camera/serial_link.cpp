// Opening and closing the serial transport.

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/messages.h"
#include "camera/serial_io.h"

namespace vx {

std::unique_ptr<SerialPort> CameraLink::OpenSerialPort(const std::string& name) {
    if (env_.serialPorts == nullptr)
        return nullptr;
    std::unique_ptr<SerialPort> port = env_.serialPorts->Open(name);
    if (!port)
        return nullptr;

    LineSettings line;
    if (!port->GetLineSettings(line))
        return nullptr;
    line.baudRate = 115200;
    line.byteSize = 8;
    line.parity = LineSettings::kNoParity;
    line.stopBits = LineSettings::kTwoStopBits;
    if (!port->SetLineSettings(line))
        return nullptr;

    // The answer lands in the probe's own buffer: no answer leaves CMD_PROBE there.
    std::uint8_t probe = CMD_PROBE;
    SerialWriteByte(*port, probe);
    SerialReadByte(*port, probe);
    if (probe != REPLY_PROBE)
        return nullptr;
    return port;
}

void CameraLink::CloseSerialPort() {
    port_.reset();
}

void CameraLink::OpenSerialLink() {
    if (port_)
        return;
    portName_ = "COM1";
    port_ = OpenSerialPort(portName_);
    if (!port_) {
        portName_ = "COM2";
        port_ = OpenSerialPort(portName_);
    }
    if (!port_) {
        env_.user.RepaintUsbButton();
        if (mode_ != LinkMode::None)
            env_.user.ShowMessage(kTextNoSerialCamera);
        return;
    }
    ReleaseUsbCamera();
    mode_ = LinkMode::Serial;
    env_.user.SetSerialButtonPushed(true);
}

}  // namespace vx
