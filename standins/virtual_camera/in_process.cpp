#include "standins/virtual_camera/in_process.h"

#include <algorithm>

namespace vx::virtualcam {
namespace {

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

// A decoy device: some other still-image device, which knows none of the camera's calls.
class DecoyDevice final : public vx::StillImageDevice {
  public:
    explicit DecoyDevice(VirtualStillImageSystem& system) : system_(system) {}
    ~DecoyDevice() override;
    bool LockDevice(std::uint32_t) override { return true; }
    bool UnLockDevice() override { return true; }
    bool Subscribe() override { return true; }
    bool UnSubscribe() override { return true; }
    bool DeviceReset() override { return true; }
    bool GetStatus() override { return true; }
    bool Escape(std::uint32_t, std::span<const std::uint8_t>, std::span<std::uint8_t>,
                std::uint32_t& actual) override {
        actual = 0;
        return false;
    }

  private:
    VirtualStillImageSystem& system_;
};

}  // namespace

class DeviceAdapter final : public vx::StillImageDevice {
  public:
    explicit DeviceAdapter(VirtualStillImageSystem& system) : system_(system) {}
    ~DeviceAdapter() override {
        --system_.devicesAlive;
        system_.events.push_back("release device");
    }
    bool LockDevice(std::uint32_t timeoutMs) override {
        if (system_.camera_.Lock())
            return true;
        // The caller waited the whole time-out for a device someone else holds.
        system_.clock_.AdvanceTo(system_.clock_.Now() + std::chrono::milliseconds(timeoutMs));
        return false;
    }
    bool UnLockDevice() override { return system_.camera_.Unlock(); }
    bool Subscribe() override { return system_.camera_.Subscribe(); }
    bool UnSubscribe() override { return system_.camera_.UnSubscribe(); }
    bool DeviceReset() override { return system_.camera_.Reset(); }
    bool GetStatus() override { return system_.camera_.GetStatus(); }
    bool Escape(std::uint32_t code, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output, std::uint32_t& actual) override {
        return system_.camera_.Escape(code, input, output, actual);
    }

  private:
    VirtualStillImageSystem& system_;
};

DecoyDevice::~DecoyDevice() {
    --system_.devicesAlive;
    system_.events.push_back("release device");
}

class InstanceAdapter final : public vx::StillImage {
  public:
    explicit InstanceAdapter(VirtualStillImageSystem& system) : system_(system) {}
    ~InstanceAdapter() override {
        --system_.instancesAlive;
        system_.events.push_back("release instance");
    }
    bool GetDeviceList(std::vector<vx::StillImageDeviceInfo>& devices) override {
        system_.events.push_back("list");
        if (system_.listFails.Strike())
            return false;
        devices.clear();
        for (const StillImageEntry& e : system_.devices) {
            devices.push_back({e.description, e.internalName});
        }
        return true;
    }
    std::unique_ptr<vx::StillImageDevice> CreateDevice(const std::wstring& internalName,
                                                       std::uint32_t mode) override {
        system_.events.push_back("create " + Narrow(internalName) + " mode " +
                                 std::to_string(mode));
        if (system_.createFails.Strike())
            return nullptr;
        const auto entry =
            std::find_if(system_.devices.begin(), system_.devices.end(),
                         [&](const StillImageEntry& e) { return e.internalName == internalName; });
        if (entry == system_.devices.end())
            return nullptr;
        ++system_.devicesAlive;
        if (!entry->camera)
            return std::make_unique<DecoyDevice>(system_);
        return std::make_unique<DeviceAdapter>(system_);
    }

  private:
    VirtualStillImageSystem& system_;
};

std::unique_ptr<vx::StillImage> VirtualStillImageSystem::CreateInstance() {
    events.push_back("instance");
    if (instanceFails.Strike())
        return nullptr;
    ++instancesAlive;
    return std::make_unique<InstanceAdapter>(*this);
}

class PortAdapter final : public vx::SerialPort {
  public:
    PortAdapter(VirtualSerialPorts& ports, VirtualSerialPorts::Port& port)
        : clock_(ports.clock_), port_(port) {}
    ~PortAdapter() override { port_.open = false; }

    bool GetLineSettings(vx::LineSettings& settings) override {
        settings = port_.settings;
        return true;
    }
    bool SetLineSettings(const vx::LineSettings& settings) override {
        if (port_.settingsFail)
            return false;
        port_.settings = settings;
        port_.log.settingsWritten.push_back(settings);
        return true;
    }
    bool SetWriteTimeouts(const vx::WriteTimeouts& timeouts) override {
        port_.log.writeTimeouts.push_back(timeouts);
        return true;
    }
    bool SetReadTimeouts(const vx::ReadTimeouts& timeouts) override {
        port_.readTimeouts = timeouts;
        port_.log.readTimeouts.push_back(timeouts);
        return true;
    }

    bool Write(std::span<const std::uint8_t> bytes, std::uint32_t& done) override {
        const std::chrono::nanoseconds start = clock_.Now();
        port_.log.written.insert(port_.log.written.end(), bytes.begin(), bytes.end());
        SerialCamera* camera = port_.camera;
        const LineTiming line = camera ? camera->line() : LineTiming{};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            // At any other pace the camera hears noise, not commands.
            if (camera && LineMatches())
                camera->Receive(bytes[i], start + line.Bytes(i + 1));
        }
        clock_.AdvanceTo(start + line.Bytes(bytes.size()));
        done = static_cast<std::uint32_t>(bytes.size());
        return true;
    }

    bool Read(std::span<std::uint8_t> bytes, std::uint32_t& done) override {
        const vx::ReadTimeouts& t = port_.readTimeouts;
        const std::chrono::nanoseconds deadline =
            clock_.Now() +
            std::chrono::milliseconds(std::uint64_t{t.multiplierMs} * bytes.size() + t.constantMs);
        done = 0;
        if (port_.camera != nullptr) {
            auto& output = port_.camera->output();
            while (done < bytes.size() && !output.empty() && output.front().at <= deadline) {
                bytes[done++] = output.front().value;
                clock_.AdvanceTo(output.front().at);
                output.pop_front();
            }
        }
        if (done < bytes.size())
            clock_.AdvanceTo(deadline);
        port_.log.received.insert(port_.log.received.end(), bytes.begin(), bytes.begin() + done);
        return true;
    }

    bool Purge(std::uint32_t flags) override {
        port_.log.purges.push_back(flags);
        // Only what has arrived is thrown away; bytes still on the wire come later.
        if ((flags & vx::kPurgeRxClear) && port_.camera != nullptr) {
            auto& output = port_.camera->output();
            while (!output.empty() && output.front().at <= clock_.Now())
                output.pop_front();
        }
        return true;
    }

  private:
    bool LineMatches() const {
        return port_.settings == vx::LineSettings{115200, 8, vx::LineSettings::kNoParity,
                                                  vx::LineSettings::kTwoStopBits};
    }

    SimulatedClock& clock_;
    VirtualSerialPorts::Port& port_;
};

void VirtualSerialPorts::Attach(const std::string& name, SerialCamera* camera) {
    ports_[name].camera = camera;
}

std::unique_ptr<vx::SerialPort> VirtualSerialPorts::Open(const std::string& name) {
    auto it = ports_.find(name);
    // Not shared: a port already open cannot be opened again.
    if (it == ports_.end() || it->second.open)
        return nullptr;
    it->second.open = true;
    ++it->second.log.opens;
    return std::make_unique<PortAdapter>(*this, it->second);
}

}  // namespace vx::virtualcam
