#pragma once
// The cleaner's system interfaces over the Windows registry, files and processes.

#include "cleaner/cleaner_system.h"

namespace vx {

class Win32Registry final : public Registry {
  public:
    std::unique_ptr<RegistryKey> OpenForQuery(const std::string& path) override;
    void DeleteKey(const std::string& path) override;
};

class Win32FileSystem final : public FileSystem {
  public:
    std::optional<std::string> WindowsDirectory(std::size_t capacity) override;
    void RemoveFile(const std::string& path) override;
};

class Win32ProgramStarter final : public ProgramStarter {
  public:
    void Start(const std::string& program, const std::string& commandLine, bool wait) override;
};

class MessageBoxConfirmation final : public Confirmation {
  public:
    bool AskYesNo(const std::string& question) override;
};

}  // namespace vx
