#pragma once
// What the camera code shows and asks of the window it runs in, so the protocol can
// report in the product's words without knowing about windows: message boxes, the
// Exit command, the state of the link buttons, and an optional progress window.

#include <cstdint>
#include <string>

namespace vx {

class UserSide {
  public:
    virtual ~UserSide() = default;

    // A message box with the text, the module's name as caption and an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // The window's Exit command: what the browser does when a download cannot get memory.
    virtual void RunExitCommand() = 0;
    // The serial button drawn pushed (serial link open) or released.
    virtual void SetSerialButtonPushed(bool pushed) = 0;
    // Erase and repaint a link button after a failed open.
    virtual void RepaintSerialButton() = 0;
    virtual void RepaintUsbButton() = 0;
};

// The progress window of a download: a bar and a line of text.
class Progress {
  public:
    virtual ~Progress() = default;
    virtual void SetRange(std::int32_t low, std::int32_t high) = 0;
    virtual void SetStep(std::int32_t step) = 0;
    virtual void StepIt() = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};

}  // namespace vx
