#pragma once
// Runs camtool.exe (next to the test program) the way a user would, with the
// stand-ins configured through its environment, and collects what it printed.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vx::wine {

struct CamtoolResult {
    DWORD exitCode = 0;
    std::string out;  // the link's messages and the tool's own lines
    std::string err;  // progress
    std::vector<std::string> OutLines() const;
};

// The folder of the running program, with a trailing backslash.
std::string BinFolder();
// A new empty folder under the temporary folder; removed with RemoveFolder.
std::string MakeTempFolder(const std::string& tag);
void RemoveFolder(const std::string& folder);
void CopyFolder(const std::string& from, const std::string& to);
// Names of the files in a folder, sorted.
std::vector<std::string> FileNames(const std::string& folder);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
bool FileExists(const std::string& path);
// The listing the camera gives of a card folder: its pictures in name order, each as
// "NAME SIZE".
std::vector<std::string> ExpectedListing(const std::string& folder);

// The handles this process holds, as the system's handle table lists them (Wine's
// GetProcessHandleCount always answers 0).
DWORD HandleCount();

// Runs camtool with `args`; `environment` is added to this process's environment for
// the run. A run that does not end within a minute is killed and reported as exit 999.
CamtoolResult RunCamtool(const std::string& args,
                         const std::vector<std::pair<std::string, std::string>>& environment);

}  // namespace vx::wine
