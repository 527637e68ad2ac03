// The entry point of every program built on the framework: the work belongs to the
// static application object.
#include "winkit/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return winkit::RunProgram(instance);
}
