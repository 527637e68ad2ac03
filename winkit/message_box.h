#pragma once
// Message boxes as the system shows them: a fixed text, the module's name as caption.

#include <windows.h>

#include <string>

namespace winkit {

// The file name of `module` without folder and extension ("C:\x\Tidrek.exe" -> "Tidrek").
std::string ModuleCaption(HMODULE module);

// Shows `text` with the application module's caption, owned by `owner` (or by the
// application's main window when null). Returns the button pressed (IDOK, IDYES, ...).
int ShowMessage(const char* text, UINT type = MB_OK, HWND owner = nullptr);

}  // namespace winkit
