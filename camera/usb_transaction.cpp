#include "camera/usb_transaction.h"

#include "camera/constants.h"

namespace vx {

UsbTransaction::UsbTransaction(std::shared_ptr<StillImageDevice> device, Form form)
    : device_(std::move(device)), form_(form) {}

UsbTransaction::UsbTransaction(UsbTransaction&& other) noexcept
    : device_(std::move(other.device_)), form_(other.form_) {}

std::optional<UsbTransaction> UsbTransaction::Open(std::shared_ptr<StillImageDevice> device,
                                                   Form form) {
    if (!device || !device->LockDevice(LOCK_TIMEOUT_MS))
        return std::nullopt;
    UsbTransaction bracket(std::move(device), form);
    if (form == Form::Full) {
        // The subscription and the reset only prepare the camera; it answers either way.
        bracket.device_->Subscribe();
        bracket.device_->DeviceReset();
        if (!bracket.device_->GetStatus())
            return std::nullopt;  // closes on the way out
    }
    return bracket;
}

UsbTransaction::~UsbTransaction() {
    if (!device_)
        return;  // moved from
    if (form_ == Form::Full)
        device_->UnSubscribe();
    device_->UnLockDevice();
}

}  // namespace vx
