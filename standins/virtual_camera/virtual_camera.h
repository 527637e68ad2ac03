#pragma once
// The virtual camera: one card, its fault switches, and the camera's USB and serial
// sides over that card. Set the card and the switches, then talk to `usb` or `serial`
// directly, or through the in-process transports of in_process.h.

#include "standins/virtual_camera/card.h"
#include "standins/virtual_camera/faults.h"
#include "standins/virtual_camera/serial_camera.h"
#include "standins/virtual_camera/usb_camera.h"

namespace vx::virtualcam {

struct VirtualCamera {
    VirtualCamera() = default;
    explicit VirtualCamera(Card c) : card(std::move(c)) {}
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    Card card;
    UsbFaults usbFaults;
    SerialFaults serialFaults;
    UsbCamera usb{card, usbFaults};
    SerialCamera serial{card, serialFaults};
};

}  // namespace vx::virtualcam
