#include "tests/camera_wine/camtool_runner.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vx::wine {
namespace {

HANDLE InheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

std::vector<std::string> CamtoolResult::OutLines() const {
    return SplitLines(out);
}

std::string BinFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string MakeTempFolder(const std::string& tag) {
    static int counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vx-" + tag + "-" +
                               std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(++counter);
    RemoveFolder(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void RemoveFolder(const std::string& folder) {
    for (const std::string& name : FileNames(folder)) {
        const std::string path = folder + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

void CopyFolder(const std::string& from, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    for (const std::string& name : FileNames(from)) {
        CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    }
}

std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> ReadLines(const std::string& path) {
    return SplitLines(ReadText(path));
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The handles this process holds, as the system's handle table lists them.
DWORD HandleCount() {
    struct HandleEntry {
        ULONG ownerPid;
        UCHAR objectType;
        UCHAR flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<std::uint8_t> buffer(1 << 16);
    ULONG needed = 0;
    while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                 &needed) != 0) {
        if (buffer.size() > (64u << 20))
            return 0;
        buffer.resize(buffer.size() * 2);
    }
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD mine = 0;
    for (ULONG i = 0; i < count; ++i)
        mine += entries[i].ownerPid == GetCurrentProcessId() ? 1 : 0;
    return mine;
}

CamtoolResult RunCamtool(const std::string& args,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
    const std::string folder = MakeTempFolder("run");
    const std::string outPath = folder + "\\out.txt";
    const std::string errPath = folder + "\\err.txt";
    const HANDLE out = InheritableFile(outPath);
    const HANDLE err = InheritableFile(errPath);

    for (const auto& [name, value] : environment)
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::string commandLine(1, '"');
    commandLine.append(BinFolder()).append("camtool.exe\" ").append(args);
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    for (const auto& [name, value] : environment)
        SetEnvironmentVariableA(name.c_str(), nullptr);
    CloseHandle(out);
    CloseHandle(err);

    CamtoolResult result;
    result.exitCode = 998;
    if (started) {
        if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 999);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    RemoveFolder(folder);
    return result;
}

std::vector<std::string> ExpectedListing(const std::string& folder) {
    std::vector<std::string> lines;
    for (const std::string& name : FileNames(folder)) {
        if (name[0] != 'S')
            continue;
        lines.push_back(name.substr(0, 8) + " " +
                        std::to_string(ReadBytes(folder + "\\" + name).size()));
    }
    return lines;
}

}  // namespace vx::wine
