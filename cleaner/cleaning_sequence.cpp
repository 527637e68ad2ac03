#include "cleaner/cleaning_sequence.h"

#include <array>
#include <optional>

#include "cleaner/uninstall_command.h"

namespace vx {
namespace {

// Buffer sizes of the cleaner, counted with the terminating NUL. A name, path or
// value that does not fit is treated like one that cannot be read: skipped.
constexpr std::size_t kKeyNameCapacity = 128;
constexpr std::size_t kClassPathCapacity = 500;
constexpr std::size_t kFilePathCapacity = 128;
constexpr std::size_t kValueCapacity = 128;
constexpr std::size_t kUninstallCapacity = 200;

constexpr const char kDriverClassRoot[] = "System\\CurrentControlSet\\Services\\Class\\";
constexpr const char kImageClassInstance[] =
    "SYSTEM\\CurrentControlSet\\control\\class\\{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\000";
constexpr const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VX2917";
constexpr std::array<const char*, 2> kUsbDeviceKeys = {"Enum\\USB\\VID_0D96&PID_4100",
                                                       "Enum\\USB\\VID_0D96&PID_4102"};

std::optional<std::string> Fitting(std::string text, std::size_t capacity) {
    if (text.size() + 1 > capacity)
        return std::nullopt;
    return text;
}

std::string QuotedIfBlank(const std::string& text) {
    return text.find(' ') == std::string::npos ? text : '"' + text + '"';
}

class Cleaner {
  public:
    explicit Cleaner(CleanerSystem& system) : sys_(system) {}

    void RemoveUsbDevices() {
        for (const char* device : kUsbDeviceKeys) {
            for (char digit = '0'; digit <= '9'; ++digit) {
                RemoveDriverClassOf(std::string(device) + "\\INST_" + digit);
            }
            sys_.registry.DeleteKey(device);
        }
    }

    void RemoveInfFiles() {
        const auto windows = sys_.files.WindowsDirectory(kFilePathCapacity);
        if (!windows)
            return;
        attribTool_ = Fitting(*windows + "\\system32\\attrib.exe", kFilePathCapacity);
        const auto infFolder = Fitting(*windows + "\\inf\\", kFilePathCapacity);
        if (!infFolder)
            return;
        if (auto stored = Fitting(*infFolder + "other\\MicrosoftVX2917.inf", kFilePathCapacity)) {
            sys_.files.RemoveFile(*stored);
        }
        for (char digit = '0'; digit <= '9'; ++digit) {
            RemoveInfOfImageInstance(*infFolder, std::string(kImageClassInstance) + digit);
        }
    }

    void StartUninstaller() {
        std::optional<std::string> command;
        if (auto key = sys_.registry.OpenForQuery(kUninstallKey)) {
            command = key->ReadString("UninstallString", kUninstallCapacity);
        }
        if (!command)
            return;
        const UninstallLaunch launch = SplitUninstallCommand(*command);
        sys_.programs.Start(launch.program, launch.commandLine, /*wait=*/false);
    }

  private:
    void RemoveDriverClassOf(const std::string& instanceKey) {
        if (!Fitting(instanceKey, kKeyNameCapacity))
            return;
        auto key = sys_.registry.OpenForQuery(instanceKey);
        if (!key)
            return;
        const auto driver = key->ReadString("Driver", kValueCapacity);
        if (!driver)
            return;
        if (auto classKey = Fitting(kDriverClassRoot + *driver, kClassPathCapacity)) {
            sys_.registry.DeleteKey(*classKey);
        }
    }

    void RemoveInfOfImageInstance(const std::string& infFolder, const std::string& instanceKey) {
        auto key = sys_.registry.OpenForQuery(instanceKey);
        if (!key)
            return;
        const auto description = key->ReadString("DriverDesc", kValueCapacity);
        if (!description || *description != kCameraModel)
            return;
        const auto infName = key->ReadString("InfPath", kValueCapacity);
        if (!infName)
            return;

        const auto infPath = Fitting(infFolder + *infName, kFilePathCapacity);
        if (!infPath)
            return;
        RemoveReadOnlyFile(*infPath);

        const std::string twin = PnfTwinName(*infName);
        if (twin.empty())
            return;
        const auto pnfPath = Fitting(infFolder + twin, kFilePathCapacity);
        if (!pnfPath)
            return;
        RemoveReadOnlyFile(*pnfPath);
    }

    void RemoveReadOnlyFile(const std::string& path) {
        if (attribTool_) {
            const std::string commandLine =
                QuotedIfBlank(*attribTool_) + " -r " + QuotedIfBlank(path);
            sys_.programs.Start(*attribTool_, commandLine, /*wait=*/true);
        }
        sys_.files.RemoveFile(path);
    }

    CleanerSystem& sys_;
    std::optional<std::string> attribTool_;
};

}  // namespace

std::string PnfTwinName(const std::string& infName) {
    const auto dot = infName.find_last_of('.');
    const auto slash = infName.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 >= infName.size()) {
        return {};
    }
    std::string twin = infName;
    twin[dot + 1] = 'P';
    return twin;
}

bool RunCleaning(CleanerSystem& system) {
    if (!system.user.AskYesNo(kConfirmQuestion))
        return false;
    Cleaner cleaner(system);
    cleaner.RemoveUsbDevices();
    cleaner.RemoveInfFiles();
    cleaner.StartUninstaller();
    return true;
}

}  // namespace vx
