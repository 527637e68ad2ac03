#pragma once
// The virtual camera behind the camera link's own interfaces, in the same process, on a
// simulated clock: a lock that times out, a read that waits "510 ms" and a line that
// takes 95.5 microseconds a byte all move the clock, never the wall clock.

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "camera/clock.h"
#include "camera/serial_port.h"
#include "camera/still_image.h"
#include "standins/virtual_camera/faults.h"
#include "standins/virtual_camera/serial_camera.h"
#include "standins/virtual_camera/usb_camera.h"

namespace vx::virtualcam {

class SimulatedClock final : public vx::Clock {
  public:
    std::chrono::nanoseconds Now() const override { return now_; }
    void Sleep(std::chrono::milliseconds pause) override {
        sleeps_.push_back(pause);
        now_ += pause;
    }
    void AdvanceTo(std::chrono::nanoseconds t) { now_ = std::max(now_, t); }
    // The pauses taken through Sleep, in order.
    const std::vector<std::chrono::milliseconds>& sleeps() const { return sleeps_; }

  private:
    std::chrono::nanoseconds now_{0};
    std::vector<std::chrono::milliseconds> sleeps_;
};

// One registered still-image device. Only entries marked `camera` lead to the virtual
// camera; the others (decoys) create devices that answer nothing.
struct StillImageEntry {
    std::string description;
    std::wstring internalName;
    bool camera = true;
};

class VirtualStillImageSystem final : public vx::StillImageSystem {
  public:
    VirtualStillImageSystem(UsbCamera& camera, SimulatedClock& clock)
        : camera_(camera), clock_(clock) {}

    std::unique_ptr<vx::StillImage> CreateInstance() override;

    std::vector<StillImageEntry> devices{{"VX2917", L"{VX2917}\\0000", true}};
    Fault instanceFails;
    Fault listFails;
    Fault createFails;

    // What happened, in order: "instance", "list", "create <name>", "release device",
    // "release instance".
    std::vector<std::string> events;
    int instancesAlive = 0;
    int devicesAlive = 0;

  private:
    friend class InstanceAdapter;
    friend class DeviceAdapter;
    UsbCamera& camera_;
    SimulatedClock& clock_;
};

// What the host did on one port.
struct PortLog {
    int opens = 0;
    std::vector<vx::LineSettings> settingsWritten;
    std::vector<vx::WriteTimeouts> writeTimeouts;
    std::vector<vx::ReadTimeouts> readTimeouts;
    std::vector<std::uint8_t> written;   // every byte the host sent
    std::vector<std::uint8_t> received;  // every byte the host's reads returned
    std::vector<std::uint32_t> purges;   // the flags of each purge
};

class VirtualSerialPorts final : public vx::SerialPortSystem {
  public:
    explicit VirtualSerialPorts(SimulatedClock& clock) : clock_(clock) {}

    // Makes a port exist; `camera` answers on it, or nothing does when it is null.
    void Attach(const std::string& name, SerialCamera* camera);
    // The port refuses new line settings.
    void FailLineSettings(const std::string& name) { ports_.at(name).settingsFail = true; }

    std::unique_ptr<vx::SerialPort> Open(const std::string& name) override;

    const PortLog& log(const std::string& name) const { return ports_.at(name).log; }
    void ClearLog(const std::string& name) { ports_.at(name).log = PortLog{}; }
    bool isOpen(const std::string& name) const { return ports_.at(name).open; }

  private:
    friend class PortAdapter;
    struct Port {
        SerialCamera* camera = nullptr;
        bool open = false;
        bool settingsFail = false;
        // What a port starts with before anyone sets it.
        vx::LineSettings settings{9600, 8, vx::LineSettings::kNoParity,
                                  vx::LineSettings::kOneStopBit};
        vx::ReadTimeouts readTimeouts;
        PortLog log;
    };
    SimulatedClock& clock_;
    std::map<std::string, Port> ports_;
};

}  // namespace vx::virtualcam
