#pragma once
// The parts of the platform's Still Image interface that the camera link calls, as
// small interfaces: the Windows build implements them over the real interface, tests
// over the virtual camera. Results are plain: true for a call that succeeded.
// Destroying an object releases it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vx {

// One registered still-image device, as the device list describes it.
struct StillImageDeviceInfo {
    // The description converted to the ANSI code page (the camera matches by it).
    std::string description;
    // The name to create the device by; passed back unchanged.
    std::wstring internalName;
};

// A created still-image device.
class StillImageDevice {
  public:
    virtual ~StillImageDevice() = default;

    // Waits up to `timeoutMs` for the device; false when another user holds it.
    virtual bool LockDevice(std::uint32_t timeoutMs) = 0;
    virtual bool UnLockDevice() = 0;
    // Event subscription (an unnamed auto-reset event the implementation owns).
    virtual bool Subscribe() = 0;
    virtual bool UnSubscribe() = 0;
    virtual bool DeviceReset() = 0;
    // Asks for the online state; false when the device cannot tell it.
    virtual bool GetStatus() = 0;
    // A vendor escape. `actual` receives the byte count the device delivered into
    // `output`; it is meaningful even when the call fails.
    virtual bool Escape(std::uint32_t code, std::span<const std::uint8_t> input,
                        std::span<std::uint8_t> output, std::uint32_t& actual) = 0;
};

// The still-image instance.
class StillImage {
  public:
    virtual ~StillImage() = default;

    // Every registered still-image device, attached or not (type 0, flags 0).
    virtual bool GetDeviceList(std::vector<StillImageDeviceInfo>& devices) = 0;
    // Creates the device in the given mode; null on failure.
    virtual std::unique_ptr<StillImageDevice> CreateDevice(const std::wstring& internalName,
                                                           std::uint32_t mode) = 0;
};

// Where still-image instances come from (the platform's instance creation call).
class StillImageSystem {
  public:
    virtual ~StillImageSystem() = default;
    // Null when no instance can be had.
    virtual std::unique_ptr<StillImage> CreateInstance() = 0;
};

}  // namespace vx
