// Tidrek: the uninstall cleaner. All of its work happens at start-up; it has no
// window of its own, so the program ends as soon as the pass is done.
#include "cleaner/cleaning_sequence.h"
#include "cleaner/win/win32_cleaner_system.h"
#include "winkit/application.h"

namespace {

class CTidrekApp final : public winkit::Application {
  public:
    bool InitInstance() override {
        vx::Win32Registry registry;
        vx::Win32FileSystem files;
        vx::Win32ProgramStarter programs;
        vx::MessageBoxConfirmation user;
        vx::CleanerSystem system{registry, files, programs, user};
        vx::RunCleaning(system);
        return true;
    }
};

CTidrekApp theApp;

}  // namespace
