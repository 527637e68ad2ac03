#pragma once
// The camera link's still-image interfaces over the platform's Still Image interface
// (StiCreateInstanceW from sti.dll, IStillImageW, IStiDevice).

#include <windows.h>

#include <memory>

#include "camera/still_image.h"

namespace vx {

class WinStillImageSystem final : public StillImageSystem {
  public:
    // `instance` is the module the still-image instance is created for: the running
    // program, or the library that hosts the browser.
    explicit WinStillImageSystem(HINSTANCE instance = GetModuleHandleW(nullptr));

    // Null when sti.dll or its StiCreateInstanceW cannot be had, or the call fails.
    std::unique_ptr<StillImage> CreateInstance() override;

  private:
    HINSTANCE instance_;
};

}  // namespace vx
