// A still-image system with the virtual camera in it, for programs run under Wine,
// whose own sti.dll lists no devices.
//
// Configuration, read at every StiCreateInstanceW (so each instance starts a fresh
// camera): an environment variable, or else the value of the same meaning under
// HKEY_CURRENT_USER\Software\VX2917 Stand-ins\Still Image (for programs that do not
// inherit the caller's environment).
//   VX_STI_CARD     (Card)     folder of the card: "S???????.JPG" and "T???????.JPG";
//                              unset: an empty card
//   VX_STI_DEVICES  (Devices)  the device list in order, ";"-separated descriptions;
//                              "D:" makes an entry a decoy that answers nothing;
//                              "none" lists no device; unset: "VX2917" when a card
//                              is set, else no device (as the system's own sti.dll)
//   VX_STI_FAULTS   (Faults)   USB fault switches, e.g. "busy=always,blockFails=3"
//   VX_STI_LOG      (Log)      file that receives one line per call the host makes
// A card folder that cannot be read or a bad switch makes instance creation fail, with
// the reason in the log and on stderr.

#include <windows.h>

#include <sti.h>
#include <stierr.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "standins/camera_switches/camera_switches.h"
#include "standins/virtual_camera/virtual_camera.h"

namespace {

using vx::virtualcam::Card;
using vx::virtualcam::VirtualCamera;

std::string Setting(const char* variable, const wchar_t* value, bool* present = nullptr) {
    char buffer[4096];
    SetLastError(ERROR_SUCCESS);  // an empty variable answers 0 without an error
    const DWORD n = GetEnvironmentVariableA(variable, buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) {
        if (present)
            *present = true;
        return std::string(buffer, n);
    }
    if (n == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
        if (present)
            *present = true;
        return {};
    }
    char data[4096] = {};
    wchar_t wide[1024] = {};
    DWORD size = sizeof wide;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\VX2917 Stand-ins\\Still Image", value,
                     RRF_RT_REG_SZ, nullptr, wide, &size) == ERROR_SUCCESS) {
        WideCharToMultiByte(CP_ACP, 0, wide, -1, data, sizeof data - 1, nullptr, nullptr);
        if (present)
            *present = true;
        return data;
    }
    if (present)
        *present = false;
    return {};
}

// One line per call, flushed at once so a test can read it after the program ended.
class CallLog {
  public:
    explicit CallLog(const std::string& path)
        : file_(path.empty() ? nullptr : std::fopen(path.c_str(), "ab")) {}
    ~CallLog() {
        if (file_)
            std::fclose(file_);
    }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    template <typename... Args>
    void Line(const char* format, Args... args) {
        if (!file_)
            return;
        std::fprintf(file_, format, args...);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

  private:
    std::FILE* file_;
};

struct DeviceEntry {
    std::wstring description;
    std::wstring internalName;
    bool camera = true;
};

// What one instance works with; its devices keep it alive.
struct Session {
    std::unique_ptr<CallLog> log;
    std::unique_ptr<VirtualCamera> camera;
    std::vector<DeviceEntry> devices;
    int instancesAlive = 0;
    int devicesAlive = 0;
};

std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    return wide;
}

std::vector<DeviceEntry> ParseDevices(const std::string& text) {
    std::vector<DeviceEntry> devices;
    if (text == "none")
        return devices;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        std::string item = text.substr(start, end - start);
        DeviceEntry entry;
        if (item.rfind("D:", 0) == 0) {
            entry.camera = false;
            item.erase(0, 2);
        }
        entry.description = Widen(item);
        wchar_t name[64];
        std::swprintf(name, 64, L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\%04u",
                      static_cast<unsigned>(devices.size()));
        entry.internalName = name;
        devices.push_back(std::move(entry));
        start = end + 1;
    }
    return devices;
}

template <typename Interface>
class ComObject : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = this;
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    virtual ~ComObject() = default;

  private:
    ULONG references_ = 1;
};

class Device final : public ComObject<IStiDevice> {
  public:
    Device(std::shared_ptr<Session> session, std::size_t index)
        : session_(std::move(session)), index_(index) {
        ++session_->devicesAlive;
    }
    ~Device() override {
        if (camera()) {
            for (const std::string& breach : camera()->usb.breaches())
                Breach("%s", breach.c_str());
        }
        if (subscribed_)
            Breach("device released while subscribed");
        --session_->devicesAlive;
        Log("release device");
    }

    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, LPCWSTR, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCapabilities(PSTI_DEV_CAPS caps) override {
        if (caps)
            caps->dwGeneric = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStatus(PSTI_DEVICE_STATUS status) override {
        if (status == nullptr)
            return E_POINTER;
        if (status->dwSize != sizeof(STI_DEVICE_STATUS) ||
            status->StatusMask != STI_DEVSTATUS_ONLINE_STATE || status->dwOnlineState != 0 ||
            status->dwHardwareStatusCode != 0 || status->dwEventHandlingState != 0 ||
            status->dwPollingInterval != 0) {
            Breach("status record not as asked: size %lu mask %lu",
                   static_cast<unsigned long>(status->dwSize),
                   static_cast<unsigned long>(status->StatusMask));
        }
        const bool ok = camera() && camera()->usb.GetStatus();
        if (ok)
            status->dwOnlineState = STI_ONLINESTATE_OPERATIONAL;
        return Result("status", ok);
    }
    HRESULT STDMETHODCALLTYPE DeviceReset() override {
        return Result("reset", camera() && camera()->usb.Reset());
    }
    HRESULT STDMETHODCALLTYPE Diagnostic(LPSTI_DIAG) override { return Unused("diagnostic"); }
    HRESULT STDMETHODCALLTYPE Escape(STI_RAW_CONTROL_CODE code, LPVOID in, DWORD inSize, LPVOID out,
                                     DWORD outSize, LPDWORD actual) override {
        std::uint32_t delivered = 0;
        bool ok = false;
        if (camera() && (in != nullptr || inSize == 0) && (out != nullptr || outSize == 0)) {
            ok = camera()->usb.Escape(code, {static_cast<const std::uint8_t*>(in), inSize},
                                      {static_cast<std::uint8_t*>(out), outSize}, delivered);
        }
        if (actual)
            *actual = delivered;
        Log("escape 0x%04lx in %lu out %lu actual %lu %s", static_cast<unsigned long>(code),
            static_cast<unsigned long>(inSize), static_cast<unsigned long>(outSize),
            static_cast<unsigned long>(delivered), ok ? "ok" : "failed");
        return ok ? S_OK : STIERR_GENERIC;
    }
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD error) override {
        if (error)
            *error = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockDevice(DWORD timeout) override {
        const bool ok = camera() && camera()->usb.Lock();
        Log("lock %lu %s", static_cast<unsigned long>(timeout), ok ? "ok" : "failed");
        return ok ? S_OK : STIERR_DEVICE_LOCKED;
    }
    HRESULT STDMETHODCALLTYPE UnLockDevice() override {
        return Result("unlock", camera() && camera()->usb.Unlock());
    }
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID, LPDWORD, LPOVERLAPPED) override {
        return Unused("raw read data");
    }
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID, DWORD, LPOVERLAPPED) override {
        return Unused("raw write data");
    }
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID, LPDWORD, LPOVERLAPPED) override {
        return Unused("raw read command");
    }
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID, DWORD, LPOVERLAPPED) override {
        return Unused("raw write command");
    }
    HRESULT STDMETHODCALLTYPE Subscribe(LPSTISUBSCRIBE subscribe) override {
        if (subscribe == nullptr)
            return E_POINTER;
        CheckSubscription(*subscribe);
        subscribed_ = true;
        return Result("subscribe", !camera() || camera()->usb.Subscribe());
    }
    HRESULT STDMETHODCALLTYPE GetLastNotificationData(LPSTINOTIFY) override {
        return STIERR_NOEVENTS;
    }
    HRESULT STDMETHODCALLTYPE UnSubscribe() override {
        subscribed_ = false;
        return Result("unsubscribe", !camera() || camera()->usb.UnSubscribe());
    }
    HRESULT STDMETHODCALLTYPE GetLastErrorInfo(STI_ERROR_INFO* info) override {
        if (info)
            info->dwGenericError = 0;
        return S_OK;
    }

  private:
    // Null for a decoy.
    VirtualCamera* camera() const {
        return session_->devices[index_].camera ? session_->camera.get() : nullptr;
    }

    template <typename... Args>
    void Log(const char* format, Args... args) {
        session_->log->Line(format, args...);
    }
    template <typename... Args>
    void Breach(const char* format, Args... args) {
        std::string line = std::string("breach: ") + format;
        session_->log->Line(line.c_str(), args...);
    }
    HRESULT Result(const char* call, bool ok) {
        Log("%s %s", call, ok ? "ok" : "failed");
        return ok ? S_OK : STIERR_GENERIC;
    }
    HRESULT Unused(const char* call) {
        Breach("%s called", call);
        return STIERR_UNSUPPORTED;
    }

    // The subscription the camera link asks for: events signalled through an
    // unnamed auto-reset event that starts unsignalled, nothing else.
    void CheckSubscription(const STISUBSCRIBE& s) {
        if (s.dwSize != sizeof(STISUBSCRIBE) || s.dwFlags != STI_SUBSCRIBE_FLAG_EVENT ||
            s.dwFilter != 0 || s.hWndNotify != nullptr || s.uiNotificationMessage != 0) {
            Breach("subscription record not as asked: size %lu flags %lu",
                   static_cast<unsigned long>(s.dwSize), static_cast<unsigned long>(s.dwFlags));
        }
        if (s.hEvent == nullptr || WaitForSingleObject(s.hEvent, 0) != WAIT_TIMEOUT) {
            Breach("subscription event missing or signalled");
            return;
        }
        if (HasName(s.hEvent))
            Breach("subscription event has a name");
        // An auto-reset event lets exactly one wait through per signal.
        SetEvent(s.hEvent);
        const bool first = WaitForSingleObject(s.hEvent, 0) == WAIT_OBJECT_0;
        const bool second = WaitForSingleObject(s.hEvent, 0) == WAIT_OBJECT_0;
        if (!first || second)
            Breach("subscription event is not auto-reset");
        ResetEvent(s.hEvent);
    }

    static bool HasName(HANDLE object) {
        using Query = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
        const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
        constexpr ULONG kObjectNameInformation = 1;
        // A UNICODE_STRING, then room for the name.
        alignas(8) std::uint8_t buffer[1024] = {};
        ULONG length = 0;
        if (query == nullptr ||
            query(object, kObjectNameInformation, buffer, sizeof buffer, &length) != 0) {
            return false;
        }
        return *reinterpret_cast<const USHORT*>(buffer) != 0;
    }

    std::shared_ptr<Session> session_;
    std::size_t index_;
    bool subscribed_ = false;
};

class StillImage final : public ComObject<IStillImageW> {
  public:
    explicit StillImage(std::shared_ptr<Session> session) : session_(std::move(session)) {
        ++session_->instancesAlive;
    }
    ~StillImage() override {
        if (session_->devicesAlive > 0) {
            session_->log->Line("breach: instance released before its device");
        }
        --session_->instancesAlive;
        session_->log->Line("release instance");
    }

    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetDeviceList(DWORD type, DWORD flags, DWORD* count,
                                            LPVOID* buffer) override {
        session_->log->Line("list type %lu flags %lu", static_cast<unsigned long>(type),
                            static_cast<unsigned long>(flags));
        if (count == nullptr || buffer == nullptr)
            return E_POINTER;
        *count = 0;
        *buffer = nullptr;
        // One block, as the system's list is: the records, then their strings. The
        // caller frees it with LocalFree.
        const auto& devices = session_->devices;
        std::size_t bytes = devices.size() * sizeof(STI_DEVICE_INFORMATIONW);
        for (const DeviceEntry& d : devices)
            bytes += (d.description.size() + 1) * sizeof(WCHAR);
        bytes += sizeof(WCHAR);  // the empty strings share one terminator
        auto* block = static_cast<std::uint8_t*>(LocalAlloc(LPTR, bytes));
        if (block == nullptr)
            return E_OUTOFMEMORY;
        auto* records = reinterpret_cast<STI_DEVICE_INFORMATIONW*>(block);
        auto* strings =
            reinterpret_cast<WCHAR*>(block + devices.size() * sizeof(STI_DEVICE_INFORMATIONW));
        WCHAR* empty = strings++;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            STI_DEVICE_INFORMATIONW& r = records[i];
            r.dwSize = sizeof(STI_DEVICE_INFORMATIONW);
            r.DeviceType = StiDeviceTypeDigitalCamera << 16;
            wcsncpy(r.szDeviceInternalName, devices[i].internalName.c_str(),
                    STI_MAX_INTERNAL_NAME_LENGTH - 1);
            r.dwHardwareConfiguration = STI_HW_CONFIG_USB;
            std::wmemcpy(strings, devices[i].description.c_str(),
                         devices[i].description.size() + 1);
            r.pszDeviceDescription = strings;
            strings += devices[i].description.size() + 1;
            r.pszVendorDescription = r.pszPortName = r.pszPropProvider = r.pszLocalName = empty;
        }
        *count = static_cast<DWORD>(devices.size());
        *buffer = block;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPWSTR, LPVOID*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE CreateDevice(LPWSTR name, DWORD mode, PSTIDEVICE* device,
                                           LPUNKNOWN outer) override {
        if (device == nullptr)
            return E_POINTER;
        *device = nullptr;
        const auto& devices = session_->devices;
        for (std::size_t i = 0; name != nullptr && i < devices.size(); ++i) {
            if (devices[i].internalName == name) {
                session_->log->Line("create %u mode %lu%s", static_cast<unsigned>(i),
                                    static_cast<unsigned long>(mode),
                                    outer != nullptr ? " with outer object" : "");
                *device = new Device(session_, i);
                return S_OK;
            }
        }
        session_->log->Line("create unknown device");
        return STIERR_INVALID_DEVICE_NAME;
    }

    HRESULT STDMETHODCALLTYPE GetDeviceValue(LPWSTR, LPWSTR, LPDWORD, LPBYTE, LPDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetDeviceValue(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSTILaunchInformation(LPWSTR, DWORD*, LPWSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterLaunchApplication(LPWSTR, LPWSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnregisterLaunchApplication(LPWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnableHwNotifications(LPCWSTR, WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHwNotificationState(LPCWSTR, WINBOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RefreshDeviceBus(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LaunchApplicationForDevice(LPWSTR, LPWSTR, LPSTINOTIFY) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetupDeviceParameters(PSTI_DEVICE_INFORMATIONW) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD, LPCWSTR) override { return S_OK; }

  private:
    std::shared_ptr<Session> session_;
};

HRESULT Refuse(CallLog& log, const std::string& reason) {
    log.Line("configuration error: %s", reason.c_str());
    std::fprintf(stderr, "sti stand-in: %s\n", reason.c_str());
    return E_INVALIDARG;
}

}  // namespace

extern "C" HRESULT WINAPI StiCreateInstanceW(HINSTANCE instance, DWORD version,
                                             IStillImageW** still, LPUNKNOWN outer) {
    if (still == nullptr)
        return E_POINTER;
    *still = nullptr;
    auto session = std::make_shared<Session>();
    session->log = std::make_unique<CallLog>(Setting("VX_STI_LOG", L"Log"));
    session->log->Line("instance version 0x%08lx module %s%s", static_cast<unsigned long>(version),
                       instance != nullptr ? "given" : "null",
                       outer != nullptr ? " with outer object" : "");

    bool hasCard = false;
    const std::string folder = Setting("VX_STI_CARD", L"Card", &hasCard);
    std::optional<Card> card = Card();
    if (hasCard) {
        card = Card::FromFolder(folder);
        if (!card)
            return Refuse(*session->log, "cannot read the card folder " + folder);
    }
    session->camera = std::make_unique<VirtualCamera>(std::move(*card));

    std::string error;
    if (!vx::virtualcam::ParseUsbFaults(Setting("VX_STI_FAULTS", L"Faults"),
                                        session->camera->usbFaults, error)) {
        return Refuse(*session->log, error);
    }
    bool hasDevices = false;
    const std::string devices = Setting("VX_STI_DEVICES", L"Devices", &hasDevices);
    // Unconfigured, the stand-in is Wine's own: no devices. A card alone is the camera.
    session->devices = ParseDevices(hasDevices ? devices : hasCard ? "VX2917" : "none");

    *still = new StillImage(std::move(session));
    return S_OK;
}
