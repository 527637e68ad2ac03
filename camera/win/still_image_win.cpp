#include "camera/win/still_image_win.h"

#include <sti.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace vx {
namespace {

// The interface version the camera link asks for (no Unicode flag: the Unicode entry
// point is chosen by name).
constexpr DWORD kStiVersion = STI_VERSION_REAL;
// Descriptions are compared in the ANSI code page, in a buffer of this size.
constexpr int kDescriptionBufferSize = 128;

using StiCreateInstanceWProc = HRESULT(WINAPI*)(HINSTANCE, DWORD, IStillImageW**, LPUNKNOWN);

// sti.dll is loaded on first use and stays loaded: instances and devices made from it
// may live as long as the program.
StiCreateInstanceWProc LoadStiCreateInstance() {
    static const StiCreateInstanceWProc proc = [] {
        HMODULE sti = LoadLibraryA("sti.dll");
        if (sti == nullptr)
            return StiCreateInstanceWProc{};
        return reinterpret_cast<StiCreateInstanceWProc>(
            reinterpret_cast<void*>(GetProcAddress(sti, "StiCreateInstanceW")));
    }();
    return proc;
}

std::string ToAnsiDescription(LPCWSTR description) {
    if (description == nullptr)
        return {};
    char buffer[kDescriptionBufferSize] = {};
    // A description too long for the buffer comes back cut: it matches nothing anyway.
    WideCharToMultiByte(CP_ACP, 0, description, -1, buffer, kDescriptionBufferSize, nullptr,
                        nullptr);
    buffer[kDescriptionBufferSize - 1] = '\0';
    return buffer;
}

class WinStillImageDevice final : public StillImageDevice {
  public:
    explicit WinStillImageDevice(IStiDevice* device) : device_(device) {}
    ~WinStillImageDevice() override {
        CloseEvent();
        device_->Release();
    }
    WinStillImageDevice(const WinStillImageDevice&) = delete;
    WinStillImageDevice& operator=(const WinStillImageDevice&) = delete;

    bool LockDevice(std::uint32_t timeoutMs) override {
        return SUCCEEDED(device_->LockDevice(timeoutMs));
    }
    bool UnLockDevice() override { return SUCCEEDED(device_->UnLockDevice()); }

    bool Subscribe() override {
        CloseEvent();
        // Unnamed, auto-reset, not signalled. Nobody waits on it; the device only needs
        // somewhere to signal its events.
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        STISUBSCRIBE subscribe{};
        subscribe.dwSize = sizeof(subscribe);
        subscribe.dwFlags = STI_SUBSCRIBE_FLAG_EVENT;
        subscribe.dwFilter = 0;
        subscribe.hWndNotify = nullptr;
        subscribe.hEvent = event_;
        subscribe.uiNotificationMessage = 0;
        return SUCCEEDED(device_->Subscribe(&subscribe));
    }
    bool UnSubscribe() override {
        const bool ok = SUCCEEDED(device_->UnSubscribe());
        CloseEvent();
        return ok;
    }

    bool DeviceReset() override { return SUCCEEDED(device_->DeviceReset()); }

    bool GetStatus() override {
        STI_DEVICE_STATUS status{};
        status.dwSize = sizeof(status);
        status.StatusMask = STI_DEVSTATUS_ONLINE_STATE;
        return SUCCEEDED(device_->GetStatus(&status));
    }

    bool Escape(std::uint32_t code, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output, std::uint32_t& actual) override {
        DWORD delivered = 0;
        // The interface takes a non-const input pointer but only reads from it.
        const HRESULT result = device_->Escape(
            code, input.empty() ? nullptr : const_cast<std::uint8_t*>(input.data()),
            static_cast<DWORD>(input.size()), output.empty() ? nullptr : output.data(),
            static_cast<DWORD>(output.size()), &delivered);
        actual = delivered;
        return SUCCEEDED(result);
    }

  private:
    void CloseEvent() {
        if (event_ != nullptr)
            CloseHandle(event_);
        event_ = nullptr;
    }

    IStiDevice* device_;
    HANDLE event_ = nullptr;
};

class WinStillImage final : public StillImage {
  public:
    explicit WinStillImage(IStillImageW* instance) : instance_(instance) {}
    ~WinStillImage() override { instance_->Release(); }
    WinStillImage(const WinStillImage&) = delete;
    WinStillImage& operator=(const WinStillImage&) = delete;

    bool GetDeviceList(std::vector<StillImageDeviceInfo>& devices) override {
        devices.clear();
        DWORD count = 0;
        void* buffer = nullptr;
        const HRESULT result = instance_->GetDeviceList(0, 0, &count, &buffer);
        if (FAILED(result)) {
            if (buffer != nullptr)
                LocalFree(buffer);
            return false;
        }
        const auto* list = static_cast<const STI_DEVICE_INFORMATIONW*>(buffer);
        // Never more records than the block can hold, whatever count came with it.
        const SIZE_T blockSize = buffer != nullptr ? LocalSize(buffer) : 0;
        count = static_cast<DWORD>(
            std::min<SIZE_T>(count, blockSize / sizeof(STI_DEVICE_INFORMATIONW)));
        for (DWORD i = 0; list != nullptr && i < count; ++i) {
            StillImageDeviceInfo info;
            info.description = ToAnsiDescription(list[i].pszDeviceDescription);
            const WCHAR* name = list[i].szDeviceInternalName;
            info.internalName.assign(name, wcsnlen(name, STI_MAX_INTERNAL_NAME_LENGTH));
            devices.push_back(std::move(info));
        }
        // The list is the caller's, allocated with LocalAlloc by the interface.
        if (buffer != nullptr)
            LocalFree(buffer);
        return true;
    }

    std::unique_ptr<StillImageDevice> CreateDevice(const std::wstring& internalName,
                                                   std::uint32_t mode) override {
        std::vector<WCHAR> name(internalName.begin(), internalName.end());
        name.push_back(L'\0');
        IStiDevice* device = nullptr;
        if (FAILED(instance_->CreateDevice(name.data(), mode, &device, nullptr)) ||
            device == nullptr) {
            return nullptr;
        }
        return std::make_unique<WinStillImageDevice>(device);
    }

  private:
    IStillImageW* instance_;
};

}  // namespace

WinStillImageSystem::WinStillImageSystem(HINSTANCE instance) : instance_(instance) {}

std::unique_ptr<StillImage> WinStillImageSystem::CreateInstance() {
    const StiCreateInstanceWProc create = LoadStiCreateInstance();
    if (create == nullptr)
        return nullptr;
    IStillImageW* instance = nullptr;
    if (FAILED(create(instance_, kStiVersion, &instance, nullptr)) || instance == nullptr) {
        return nullptr;
    }
    return std::make_unique<WinStillImage>(instance);
}

}  // namespace vx
