#pragma once
// What the uninstall cleaner needs from the system, as small interfaces, so the
// cleaning sequence runs unchanged against Windows or against test fakes.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace vx {

// A registry key under HKEY_LOCAL_MACHINE, opened for reading values only; closed
// when destroyed.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    // The string value `name`, if it exists, is a string and fits, with its
    // terminating NUL, into `capacity` bytes. Anything else reads as nothing.
    virtual std::optional<std::string> ReadString(const std::string& name,
                                                  std::size_t capacity) = 0;
};

class Registry {
  public:
    virtual ~Registry() = default;
    // Null when the key does not open.
    virtual std::unique_ptr<RegistryKey> OpenForQuery(const std::string& path) = 0;
    // The platform's plain key deletion; its result is not needed.
    virtual void DeleteKey(const std::string& path) = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // The Windows directory, if it fits with its NUL into `capacity` characters.
    virtual std::optional<std::string> WindowsDirectory(std::size_t capacity) = 0;
    virtual void RemoveFile(const std::string& path) = 0;
};

class ProgramStarter {
  public:
    virtual ~ProgramStarter() = default;
    // Starts `program` with exactly `commandLine` as its command line; with `wait`,
    // returns when it has ended. Whether it started is not needed.
    virtual void Start(const std::string& program, const std::string& commandLine, bool wait) = 0;
};

class Confirmation {
  public:
    virtual ~Confirmation() = default;
    // Asks a Yes/No question with No as the default; true only for Yes.
    virtual bool AskYesNo(const std::string& question) = 0;
};

struct CleanerSystem {
    Registry& registry;
    FileSystem& files;
    ProgramStarter& programs;
    Confirmation& user;
};

}  // namespace vx
