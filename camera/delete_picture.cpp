// Deleting a picture on the camera.

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "camera/serial_io.h"
#include "camera/usb_transaction.h"

namespace vx {

bool CameraLink::DeletePictureUsb(std::string_view name) {
    if (!stillImage_ || !device_)
        return false;
    auto bracket = UsbTransaction::Open(device_, UsbTransaction::Form::Short);
    if (!bracket)
        return false;
    const auto request = CameraFileRequest::ForFile(0, 0, MakeFileName8(name));
    std::uint8_t answer[4] = {};  // the camera's answer carries nothing the system uses
    std::uint32_t actual = 0;
    return bracket->device().Escape(ESC_DELETE_FILE, request.Encode(), answer, actual);
}

bool CameraLink::DeletePictureSerial() {
    const char* name = env_.catalogue.GetName();
    if (name == nullptr || !SelectPictureSerial(name))
        return false;
    SerialPort& port = *port_;
    std::uint8_t byte = 0;
    SerialWriteByte(port, CMD_DELETE);
    if (!SerialReadByte(port, byte))
        return false;
    SerialReadByte(port, byte);  // no status: the acknowledgement is judged instead
    // A card error is reported, yet the delete counts as done.
    ShowStatusMessage(byte, false);
    return true;
}

}  // namespace vx
