#pragma once
// The device-lock bracket around every USB exchange. Full form (listing, downloads):
// lock, subscribe, reset, status; closed by unsubscribe and unlock. Short form
// (delete): lock; closed by unlock. Closing happens when the bracket is destroyed, so
// no early return can leave the camera locked.

#include <memory>
#include <optional>

#include "camera/still_image.h"

namespace vx {

class UsbTransaction {
  public:
    enum class Form { Full, Short };

    // Empty when the lock fails (nothing else was called then) or, in the full form,
    // when the status query fails (the bracket was closed again).
    static std::optional<UsbTransaction> Open(std::shared_ptr<StillImageDevice> device, Form form);

    UsbTransaction(UsbTransaction&& other) noexcept;
    UsbTransaction& operator=(UsbTransaction&&) = delete;
    UsbTransaction(const UsbTransaction&) = delete;
    UsbTransaction& operator=(const UsbTransaction&) = delete;
    ~UsbTransaction();

    StillImageDevice& device() { return *device_; }

  private:
    UsbTransaction(std::shared_ptr<StillImageDevice> device, Form form);

    std::shared_ptr<StillImageDevice> device_;
    Form form_;
};

}  // namespace vx
