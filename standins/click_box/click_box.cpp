// click_box CAPTION BUTTON [TIMEOUT_MS]
// Plays the user at a message box: waits for a visible dialog-class window whose
// caption is CAPTION, prints its text, and presses BUTTON (yes, no, ok or cancel).
// Exits 0 when it pressed, 1 when no such box appeared in time, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Search {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char cls[32] = {};
    char caption[256] = {};
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(cls, "#32770") == 0 && std::strcmp(caption, search->caption) == 0 &&
        IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int ButtonId(const char* name) {
    if (std::strcmp(name, "yes") == 0)
        return IDYES;
    if (std::strcmp(name, "no") == 0)
        return IDNO;
    if (std::strcmp(name, "ok") == 0)
        return IDOK;
    if (std::strcmp(name, "cancel") == 0)
        return IDCANCEL;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || ButtonId(argv[2]) == 0) {
        std::fprintf(stderr, "usage: click_box CAPTION yes|no|ok|cancel [TIMEOUT_MS]\n");
        return 2;
    }
    const int button = ButtonId(argv[2]);
    const DWORD timeout = argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 20000;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout) {
        Search search{argv[1], nullptr};
        EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            char text[1024] = {};
            GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
            std::printf("[%s] %s -> %s\n", argv[1], text, argv[2]);
            std::fflush(stdout);
            PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(search.found, button)));
            return 0;
        }
        Sleep(20);
    }
    std::fprintf(stderr, "click_box: no box \"%s\" within %lu ms\n", argv[1],
                 static_cast<unsigned long>(timeout));
    return 1;
}
