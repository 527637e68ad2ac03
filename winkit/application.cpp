#include "winkit/application.h"

namespace winkit {
namespace {
Application* g_application = nullptr;
}

Application::Application() {
    g_application = this;
}

Application::~Application() {
    if (g_application == this)
        g_application = nullptr;
}

Application* Application::Current() {
    return g_application;
}

int Application::Run() {
    MSG message;
    while (mainWindow_ != nullptr && IsWindow(mainWindow_)) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (!IsDialogMessageA(mainWindow_, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return ExitInstance();
}

int RunProgram(HINSTANCE instance) {
    Application* app = Application::Current();
    if (app == nullptr)
        return 1;
    app->AttachModule(instance);
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}

}  // namespace winkit
