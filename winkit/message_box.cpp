#include "winkit/message_box.h"

#include "winkit/application.h"

namespace winkit {

std::string ModuleCaption(HMODULE module) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::string name(path, length);
    const auto slash = name.find_last_of("\\/:");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

int ShowMessage(const char* text, UINT type, HWND owner) {
    Application* app = Application::Current();
    HMODULE module = app != nullptr ? app->instance() : nullptr;
    if (owner == nullptr && app != nullptr)
        owner = app->mainWindow();
    const std::string caption = ModuleCaption(module);
    return MessageBoxA(owner, text, caption.c_str(), type);
}

}  // namespace winkit
