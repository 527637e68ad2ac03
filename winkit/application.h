#pragma once
// The application object: one per module (program or library), constructed as a
// static object, found again through Application::Current(). A program's start-up
// calls InitInstance and then Run; a library's start-up only records the module.

#include <windows.h>

namespace winkit {

class Application {
  public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The module's one application object, or null before it is constructed.
    static Application* Current();

    // The module that holds the application: the program, or the library when the
    // application lives in a DLL.
    HINSTANCE instance() const { return instance_; }

    // Start-up work. A program whose InitInstance answers false ends at once.
    virtual bool InitInstance() = 0;
    // Pumps messages while a main window exists; a program without one ends at once.
    virtual int Run();
    // Last call of a program; its result is the exit code.
    virtual int ExitInstance() { return exitCode_; }

    HWND mainWindow() const { return mainWindow_; }
    void SetMainWindow(HWND window) { mainWindow_ = window; }

    // Called by the program entry point and by a library's DllMain.
    void AttachModule(HINSTANCE instance) { instance_ = instance; }

  protected:
    int exitCode_ = 0;

  private:
    HINSTANCE instance_ = nullptr;
    HWND mainWindow_ = nullptr;
};

// Program start-up: attaches the module, runs InitInstance, Run and ExitInstance of
// the one application object. The framework's WinMain calls it.
int RunProgram(HINSTANCE instance);

}  // namespace winkit
