#include "cleaner/win/win32_cleaner_system.h"

#include <windows.h>

#include <vector>

#include "winkit/message_box.h"

namespace vx {
namespace {

class Win32RegistryKey final : public RegistryKey {
  public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    ~Win32RegistryKey() override { RegCloseKey(key_); }

    std::optional<std::string> ReadString(const std::string& name, std::size_t capacity) override {
        std::vector<char> buffer(capacity);
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(capacity);
        const LONG result = RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        // The stored data need not end with a NUL; the value must still leave room for one.
        std::size_t length = 0;
        while (length < size && buffer[length] != '\0')
            ++length;
        if (length + 1 > capacity)
            return std::nullopt;
        return std::string(buffer.data(), length);
    }

  private:
    HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::OpenForQuery(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<Win32RegistryKey>(key);
}

void Win32Registry::DeleteKey(const std::string& path) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

std::optional<std::string> Win32FileSystem::WindowsDirectory(std::size_t capacity) {
    std::vector<char> buffer(capacity);
    const UINT length = GetWindowsDirectoryA(buffer.data(), static_cast<UINT>(capacity));
    if (length == 0 || length >= capacity)
        return std::nullopt;
    return std::string(buffer.data(), length);
}

void Win32FileSystem::RemoveFile(const std::string& path) {
    DeleteFileA(path.c_str());
}

void Win32ProgramStarter::Start(const std::string& program, const std::string& commandLine,
                                bool wait) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return;
    }
    if (wait)
        WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

bool MessageBoxConfirmation::AskYesNo(const std::string& question) {
    return winkit::ShowMessage(question.c_str(), MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

}  // namespace vx
