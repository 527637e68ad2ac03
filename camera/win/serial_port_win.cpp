#include "camera/win/serial_port_win.h"

#include <windows.h>

namespace vx {
namespace {

class WinSerialPort final : public SerialPort {
  public:
    explicit WinSerialPort(HANDLE handle) : handle_(handle) {
        // Each transfer sets only its own direction; the other keeps what the port had.
        GetCommTimeouts(handle_, &timeouts_);
    }
    ~WinSerialPort() override { CloseHandle(handle_); }
    WinSerialPort(const WinSerialPort&) = delete;
    WinSerialPort& operator=(const WinSerialPort&) = delete;

    bool GetLineSettings(LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!GetCommState(handle_, &dcb))
            return false;
        dcb_ = dcb;
        haveDcb_ = true;
        settings.baudRate = dcb.BaudRate;
        settings.byteSize = dcb.ByteSize;
        settings.parity = dcb.Parity;
        settings.stopBits = dcb.StopBits;
        return true;
    }

    bool SetLineSettings(const LineSettings& settings) override {
        // Every field but these four stays as the port had it.
        if (!haveDcb_) {
            LineSettings current;
            if (!GetLineSettings(current))
                return false;
        }
        DCB dcb = dcb_;
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.byteSize;
        dcb.Parity = settings.parity;
        dcb.StopBits = settings.stopBits;
        if (!SetCommState(handle_, &dcb))
            return false;
        dcb_ = dcb;
        return true;
    }

    bool SetWriteTimeouts(const WriteTimeouts& timeouts) override {
        COMMTIMEOUTS next = timeouts_;
        next.WriteTotalTimeoutMultiplier = timeouts.multiplierMs;
        next.WriteTotalTimeoutConstant = timeouts.constantMs;
        return Apply(next);
    }

    bool SetReadTimeouts(const ReadTimeouts& timeouts) override {
        COMMTIMEOUTS next = timeouts_;
        next.ReadIntervalTimeout = timeouts.intervalMs;
        next.ReadTotalTimeoutMultiplier = timeouts.multiplierMs;
        next.ReadTotalTimeoutConstant = timeouts.constantMs;
        return Apply(next);
    }

    bool Write(std::span<const std::uint8_t> bytes, std::uint32_t& done) override {
        DWORD written = 0;
        const BOOL ok =
            WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        done = written;
        return ok != FALSE;
    }

    bool Read(std::span<std::uint8_t> bytes, std::uint32_t& done) override {
        DWORD received = 0;
        const BOOL ok =
            ReadFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &received, nullptr);
        done = received;
        return ok != FALSE;
    }

    bool Purge(std::uint32_t flags) override { return PurgeComm(handle_, flags) != FALSE; }

  private:
    bool Apply(const COMMTIMEOUTS& next) {
        if (!SetCommTimeouts(handle_, const_cast<COMMTIMEOUTS*>(&next)))
            return false;
        timeouts_ = next;
        return true;
    }

    HANDLE handle_;
    DCB dcb_{};
    bool haveDcb_ = false;
    COMMTIMEOUTS timeouts_{};
};

static_assert(kPurgeTxAbort == PURGE_TXABORT && kPurgeRxAbort == PURGE_RXABORT &&
              kPurgeTxClear == PURGE_TXCLEAR && kPurgeRxClear == PURGE_RXCLEAR);
static_assert(LineSettings::kNoParity == NOPARITY && LineSettings::kTwoStopBits == TWOSTOPBITS &&
              LineSettings::kOneStopBit == ONESTOPBIT);

}  // namespace

std::unique_ptr<SerialPort> WinSerialPortSystem::Open(const std::string& name) {
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<WinSerialPort>(handle);
}

}  // namespace vx
