#pragma once
// A camera link wired to the virtual camera in-process, with a simulated clock and a
// user side that records what it was asked to show. Shared by the camera tests.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "catalogue/picture_catalogue.h"
#include "standins/virtual_camera/in_process.h"
#include "standins/virtual_camera/virtual_camera.h"

namespace vx::testing {

using Bytes = std::vector<std::uint8_t>;
namespace vc = vx::virtualcam;

class RecordingUser final : public UserSide {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void RunExitCommand() override { ++exits; }
    void SetSerialButtonPushed(bool pushed) override {
        buttons.push_back(pushed ? "serial pushed" : "serial released");
    }
    void RepaintSerialButton() override { buttons.push_back("repaint serial"); }
    void RepaintUsbButton() override { buttons.push_back("repaint usb"); }

    std::vector<std::string> messages;
    std::vector<std::string> buttons;
    int exits = 0;
};

class RecordingProgress final : public Progress {
  public:
    void SetRange(std::int32_t low, std::int32_t high) override {
        events.push_back("range " + std::to_string(low) + ".." + std::to_string(high));
    }
    void SetStep(std::int32_t step) override { events.push_back("step " + std::to_string(step)); }
    void StepIt() override {
        ++steps;
        events.push_back("stepit");
    }
    void SetText(const std::string& text) override {
        texts.push_back(text);
        events.push_back("text " + text);
    }
    void Show() override { events.push_back("show"); }
    void Hide() override { events.push_back("hide"); }

    std::vector<std::string> events;
    std::vector<std::string> texts;
    int steps = 0;
};

// Deterministic file contents that differ from block to block.
inline Bytes Pattern(std::size_t size, std::uint8_t seed = 1) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 509);
    return b;
}

inline Bytes ReadFixture(const std::string& name) {
    std::ifstream in(std::string(VX_CAMERA_FIXTURES) + "/" + name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The seven characters of picture i: "BCD0001", "BCD0002", ...
inline std::string Key(int i) {
    std::string digits = std::to_string(i);
    return "BCD" + std::string(4 - digits.size(), '0') + digits;
}

// A card of n pictures of the given size, thumbnail files holding `thumbnailJpeg`.
inline vc::Card CardOf(int n, std::uint32_t pictureSize, const Bytes& thumbnailJpeg = {}) {
    vc::Card card;
    for (int i = 1; i <= n; ++i) {
        card.AddPicture(Key(i), Pattern(pictureSize, static_cast<std::uint8_t>(i)),
                        vc::Card::MakeThumbnailFile(thumbnailJpeg));
    }
    return card;
}

struct Rig {
    // `serialTransport` false: the stand-alone program, USB only.
    explicit Rig(bool serialTransport = true) {
        link = std::make_unique<CameraLink>(
            CameraEnvironment{sti, serialTransport ? &ports : nullptr, clock, user, catalogue});
    }

    // The camera on USB, the link open, the logs empty.
    void OpenUsb() {
        link->OpenUsbLink();
        camera.usb.ClearCalls();
        sti.events.clear();
    }
    // The camera on `port`, the link open, the logs empty.
    void OpenSerial(const std::string& port = "COM1") {
        ports.Attach(port, &camera.serial);
        sti.devices.clear();
        link->OpenSerialLink();
        ports.ClearLog(port);
    }

    vc::VirtualCamera camera;
    vc::SimulatedClock clock;
    vc::VirtualStillImageSystem sti{camera.usb, clock};
    vc::VirtualSerialPorts ports{clock};
    RecordingUser user;
    PictureCatalogue catalogue;
    std::unique_ptr<CameraLink> link;
};

// The USB calls in a readable form: "Lock", "Escape 1004 @4096+4096 SBCD0001", ...
std::vector<std::string> Describe(const std::vector<vc::UsbCall>& calls);

// The names of a listing, picture and thumbnail, and the sizes.
std::string Names(const PictureList& list);

}  // namespace vx::testing
