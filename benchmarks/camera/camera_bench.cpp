// What a transfer costs on the wire. Over serial the floor is the line time of every
// byte the exchange moves (115200 baud, 11 bits a byte); the protocol's time on the
// simulated line is reported as a ratio to it, so any waiting beyond what the answers
// need shows as a ratio above 1. Over USB the cost is the number of escapes.
// The host time is the processor time the protocol code and the simulation took.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "camera/camera_link.h"
#include "camera/constants.h"
#include "standins/virtual_camera/in_process.h"
#include "standins/virtual_camera/virtual_camera.h"

namespace {

namespace vc = vx::virtualcam;

class QuietUser final : public vx::UserSide {
  public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    void RunExitCommand() override {}
    void SetSerialButtonPushed(bool) override {}
    void RepaintSerialButton() override {}
    void RepaintUsbButton() override {}
};

constexpr std::uint32_t kPictureSize = 500000;  // 500 KB
constexpr int kRepeats = 5;

vc::Card BenchCard() {
    vc::Card card;
    std::vector<std::uint8_t> picture(kPictureSize);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<std::uint8_t>(i * 31);
    std::vector<std::uint8_t> thumbnail(vx::THUMBNAIL_READ_SIZE, 0x5A);
    for (int i = 1; i <= 30; ++i) {
        char key[8];
        std::snprintf(key, sizeof key, "BEN%04d", i);
        card.AddPicture(key, picture, thumbnail);
    }
    return card;
}

struct Setup {
    Setup() : camera(BenchCard()) {
        ports.Attach("COM1", &camera.serial);
        link = std::make_unique<vx::CameraLink>(
            vx::CameraEnvironment{sti, &ports, clock, user, catalogue});
    }
    vc::VirtualCamera camera;
    vc::SimulatedClock clock;
    vc::VirtualStillImageSystem sti{camera.usb, clock};
    vc::VirtualSerialPorts ports{clock};
    QuietUser user;
    vx::PictureCatalogue catalogue;
    std::unique_ptr<vx::CameraLink> link;
};

// Runs the exchange on a fresh camera kRepeats times; returns the mean host time of
// the exchange alone (the card and link set-up are not counted).
double HostMilliseconds(const std::function<void(Setup&)>& prepare,
                        const std::function<void(Setup&)>& exchange,
                        const std::function<void(Setup&)>& collect) {
    std::chrono::steady_clock::duration total{};
    for (int i = 0; i < kRepeats; ++i) {
        Setup s;
        prepare(s);
        const auto start = std::chrono::steady_clock::now();
        exchange(s);
        total += std::chrono::steady_clock::now() - start;
        collect(s);
    }
    return std::chrono::duration<double, std::milli>(total).count() / kRepeats;
}

void Serial(const char* what, const std::function<bool(Setup&)>& exchange) {
    bool ok = true;
    std::size_t out = 0, in = 0;
    std::chrono::nanoseconds start{0}, spent{0};
    const double host = HostMilliseconds(
        [&](Setup& s) {
            s.sti.devices.clear();
            s.link->OpenSerialLink();
            s.ports.ClearLog("COM1");
            start = s.clock.Now();
        },
        [&](Setup& s) { ok = exchange(s) && ok; },
        [&](Setup& s) {
            spent = s.clock.Now() - start;
            out = s.ports.log("COM1").written.size();
            in = s.ports.log("COM1").received.size();
        });
    const vc::LineTiming line;
    const auto floor = line.Bytes(out + in);
    std::printf(
        "serial %-22s %s out %7zu B  in %7zu B  line %9.1f ms  floor %9.1f ms  ratio %.4f  "
        "host %.2f ms\n",
        what, ok ? "ok  " : "FAIL", out, in, spent.count() / 1e6, floor.count() / 1e6,
        static_cast<double>(spent.count()) / static_cast<double>(floor.count()), host);
}

void Usb(const char* what, const std::function<bool(Setup&)>& exchange) {
    bool ok = true;
    int blocks = 0, escapes = 0;
    const double host = HostMilliseconds(
        [&](Setup& s) {
            s.link->OpenUsbLink();
            s.camera.usb.ClearCalls();
        },
        [&](Setup& s) { ok = exchange(s) && ok; },
        [&](Setup& s) {
            blocks = s.camera.usb.CountEscapes(vx::ESC_FILE_BLOCK);
            escapes = 0;
            for (const auto& c : s.camera.usb.calls()) {
                escapes += c.kind == vc::UsbCall::Kind::Escape;
            }
        });
    std::printf("usb    %-22s %s escapes 0x1004: %4d  all escapes: %4d  host %.2f ms\n", what,
                ok ? "ok  " : "FAIL", blocks, escapes, host);
}

}  // namespace

int main() {
    Serial("thumbnail 28672 B", [](Setup& s) {
        return s.link->SelectPictureSerial("TBEN0001") &&
               !s.link->ReadPictureSerial("TBEN0001", vx::THUMBNAIL_READ_SIZE, nullptr).empty();
    });
    Serial("picture 500000 B", [](Setup& s) {
        return s.link->SelectPictureSerial("SBEN0001") &&
               !s.link->ReadPictureSerial("SBEN0001", kPictureSize, nullptr).empty();
    });
    Serial("listing 30 pictures", [](Setup& s) {
        vx::PictureList list;
        return s.link->ListPicturesSerial(list) == 30;
    });
    Usb("thumbnail 28672 B", [](Setup& s) {
        return !s.link->ReadPictureUsb("TBEN0001", vx::THUMBNAIL_READ_SIZE, nullptr).empty();
    });
    Usb("picture 500000 B", [](Setup& s) {
        return !s.link->ReadPictureUsb("SBEN0001", kPictureSize, nullptr).empty();
    });
    return 0;
}
