// Runs the real Tidrek.exe against a seeded registry and INF folder, answers its
// confirmation box the way a user would, and checks exactly what is gone and what
// remains. Every program Tidrek starts runs in the same job object, so the test knows
// when all of them (the uninstaller stand-in included) have ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kClassRoot[] = "System\\CurrentControlSet\\Services\\Class\\";
const char kImageClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\";
const char kEnum4100[] = "Enum\\USB\\VID_0D96&PID_4100";
const char kEnum4102[] = "Enum\\USB\\VID_0D96&PID_4102";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VX2917";
const char kUninstallArgs[] = "/uninstall C:\\vx2917\\uninst.log";

std::string BinFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string WindowsDir() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    return dir;
}

std::string Inf(const std::string& name) {
    return WindowsDir() + "\\inf\\" + name;
}

void SetKey(const std::string& path,
            const std::vector<std::pair<std::string, std::string>>& values) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    for (const auto& [name, value] : values) {
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    RegCloseKey(key);
}

bool KeyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void DeleteTree(const std::string& path) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    if (KeyExists(path))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFile(const std::string& path, bool readOnly) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream(path) << "[Version]\n";
    ASSERT_TRUE(FileExists(path)) << path;
    if (readOnly)
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

void RemoveFile(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

struct BoxSeen {
    std::string caption;
    std::string text;
    bool hasYes = false;
    bool hasNo = false;
    bool hasOk = false;
    bool noIsDefault = false;
};

struct RunResult {
    bool boxAnswered = false;
    BoxSeen box;
    DWORD exitCode = 0xFFFFFFFF;
};

struct FindBox {
    DWORD pid;
    HWND box = nullptr;
};

BOOL CALLBACK FindBoxOfProcess(HWND window, LPARAM param) {
    auto* find = reinterpret_cast<FindBox*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (pid == find->pid && std::string(cls) == "#32770" && IsWindowVisible(window)) {
        find->box = window;
        return FALSE;
    }
    return TRUE;
}

std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Starts Tidrek.exe, answers its question with `answer` (IDYES or IDNO) and waits until
// Tidrek and everything it started have ended.
RunResult RunTidrek(int answer) {
    RunResult result;
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    std::string exe = BinFolder() + "Tidrek.exe";
    std::string line = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << exe;
        return result;
    }
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);

    const DWORD deadline = GetTickCount() + 20000;
    while (GetTickCount() < deadline && !result.boxAnswered) {
        FindBox find{process.dwProcessId};
        EnumWindows(FindBoxOfProcess, reinterpret_cast<LPARAM>(&find));
        if (find.box != nullptr) {
            result.box.caption = WindowText(find.box);
            char text[256] = {};
            GetDlgItemTextA(find.box, 0xFFFF, text, sizeof text);
            result.box.text = text;
            HWND yes = GetDlgItem(find.box, IDYES);
            HWND no = GetDlgItem(find.box, IDNO);
            result.box.hasYes = yes != nullptr;
            result.box.hasNo = no != nullptr;
            result.box.hasOk = GetDlgItem(find.box, IDOK) != nullptr;
            result.box.noIsDefault =
                no != nullptr && (GetWindowLongA(no, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
            HWND button = answer == IDYES ? yes : no;
            PostMessageA(find.box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
            result.boxAnswered = true;
            break;
        }
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0)
            break;
    }
    if (!result.boxAnswered)
        TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 20000);
    GetExitCodeProcess(process.hProcess, &result.exitCode);

    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    while (GetTickCount() < deadline) {
        QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                  nullptr);
        if (info.ActiveProcesses == 0)
            break;
        Sleep(10);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(job);
    return result;
}

class TidrekOnWine : public ::testing::Test {
  protected:
    void SetUp() override {
        CleanUp();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        recordFile_ = std::string(temp) + "vx2917_uninstaller_calls.txt";
        DeleteFileA(recordFile_.c_str());
        SetEnvironmentVariableA("VX_RECORD_FILE", recordFile_.c_str());
    }
    void TearDown() override {
        CleanUp();
        DeleteFileA(recordFile_.c_str());
    }

    static void CleanUp() {
        for (const char* device : {kEnum4100, kEnum4102})
            DeleteTree(device);
        DeleteTree(std::string(kClassRoot) + "Image");
        for (const char* n : {"0000", "0001", "0002", "0003", "0010"}) {
            DeleteTree(std::string(kImageClass) + n);
        }
        DeleteTree(kUninstall);
        for (const char* f : {"oem3.inf", "oem3.pnf", "oem7.inf", "oem7.pnf", "oem8.inf",
                              "oem8.pnf", "oem9.inf", "oem9.pnf", "oem10.inf", "oem10.pnf"}) {
            RemoveFile(Inf(f));
        }
        RemoveFile(Inf("other\\MicrosoftVX2917.inf"));
    }

    // Camera entries and decoys, as a driver installation and other devices leave them.
    void Seed() {
        SetKey(std::string(kEnum4100) + "\\INST_0", {{"Driver", "Image\\0000"}});
        SetKey(std::string(kEnum4100) + "\\INST_3", {{"Driver", "Image\\0003"}});
        SetKey(std::string(kEnum4100) + "\\INST_10", {{"Driver", "Image\\0010"}});
        SetKey(kEnum4102, {});
        for (const char* n : {"0000", "0003", "0010"}) {
            SetKey(std::string(kClassRoot) + "Image\\" + n, {{"Class", "Image"}});
        }
        SetKey(std::string(kImageClass) + "0000",
               {{"DriverDesc", "VX2917"}, {"InfPath", "oem3.inf"}});
        SetKey(std::string(kImageClass) + "0001",
               {{"DriverDesc", "VX2917"}, {"InfPath", "oem7.inf"}});
        SetKey(std::string(kImageClass) + "0002",
               {{"DriverDesc", "vx2917"}, {"InfPath", "oem8.inf"}});
        SetKey(std::string(kImageClass) + "0003",
               {{"DriverDesc", "VX6158"}, {"InfPath", "oem9.inf"}});
        SetKey(std::string(kImageClass) + "0010",
               {{"DriverDesc", "VX2917"}, {"InfPath", "oem10.inf"}});
        for (const char* base : {"oem3", "oem7", "oem8", "oem9", "oem10"}) {
            MakeFile(Inf(std::string(base) + ".inf"), true);
            MakeFile(Inf(std::string(base) + ".pnf"), true);
        }
        CreateDirectoryA(Inf("other").c_str(), nullptr);
        MakeFile(Inf("other\\MicrosoftVX2917.inf"), false);
        SetKey(kUninstall,
               {{"UninstallString", BinFolder() + "cmdline_recorder.exe " + kUninstallArgs}});
    }

    std::vector<std::string> RecordedCalls() const {
        std::ifstream in(recordFile_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    struct Snapshot {
        std::vector<bool> keys;
        std::vector<bool> files;
        bool operator==(const Snapshot&) const = default;
    };
    static Snapshot Take() {
        Snapshot s;
        for (const std::string& k : WatchedKeys())
            s.keys.push_back(KeyExists(k));
        for (const std::string& f : WatchedFiles())
            s.files.push_back(FileExists(f));
        return s;
    }
    static std::vector<std::string> WatchedKeys() {
        return {std::string(kEnum4100),
                std::string(kEnum4100) + "\\INST_0",
                std::string(kEnum4100) + "\\INST_10",
                std::string(kEnum4102),
                std::string(kClassRoot) + "Image\\0000",
                std::string(kClassRoot) + "Image\\0003",
                std::string(kClassRoot) + "Image\\0010",
                std::string(kImageClass) + "0000",
                std::string(kUninstall)};
    }
    static std::vector<std::string> WatchedFiles() {
        return {Inf("oem3.inf"),
                Inf("oem3.pnf"),
                Inf("oem7.inf"),
                Inf("oem7.pnf"),
                Inf("oem8.inf"),
                Inf("oem8.pnf"),
                Inf("oem9.inf"),
                Inf("oem9.pnf"),
                Inf("oem10.inf"),
                Inf("oem10.pnf"),
                Inf("other\\MicrosoftVX2917.inf")};
    }

    std::string recordFile_;
};

TEST_F(TidrekOnWine, AsksOnceWithYesAndNoTheDefault) {
    const RunResult run = RunTidrek(IDNO);
    ASSERT_TRUE(run.boxAnswered);
    EXPECT_EQ(run.box.caption, "Tidrek");
    EXPECT_EQ(run.box.text, "Confirm Device Removal ?");
    EXPECT_TRUE(run.box.hasYes);
    EXPECT_TRUE(run.box.hasNo);
    EXPECT_FALSE(run.box.hasOk);
    EXPECT_TRUE(run.box.noIsDefault);
}

TEST_F(TidrekOnWine, NoChangesNothing) {
    Seed();
    const Snapshot before = Take();
    const RunResult run = RunTidrek(IDNO);
    ASSERT_TRUE(run.boxAnswered);
    EXPECT_EQ(Take(), before);
    EXPECT_TRUE(RecordedCalls().empty());
}

TEST_F(TidrekOnWine, YesRemovesTheCameraEntriesAndStartsTheUninstaller) {
    Seed();
    const RunResult run = RunTidrek(IDYES);
    ASSERT_TRUE(run.boxAnswered);
    EXPECT_EQ(run.exitCode, 0u);

    // Driver class keys named by INST_0..9 are gone; the one named by INST_10 stays.
    EXPECT_FALSE(KeyExists(std::string(kClassRoot) + "Image\\0000"));
    EXPECT_FALSE(KeyExists(std::string(kClassRoot) + "Image\\0003"));
    EXPECT_TRUE(KeyExists(std::string(kClassRoot) + "Image\\0010"));
    // Plain key deletion: the device key with INST_ subkeys stays, the bare one goes.
    EXPECT_TRUE(KeyExists(std::string(kEnum4100) + "\\INST_0"));
    EXPECT_TRUE(KeyExists(kEnum4100));
    EXPECT_FALSE(KeyExists(kEnum4102));
    // Image class instance keys stay; only their files go.
    EXPECT_TRUE(KeyExists(std::string(kImageClass) + "0000"));

    for (const char* gone :
         {"oem3.inf", "oem3.pnf", "oem7.inf", "oem7.pnf", "other\\MicrosoftVX2917.inf"}) {
        EXPECT_FALSE(FileExists(Inf(gone))) << gone;
    }
    for (const char* kept :
         {"oem8.inf", "oem8.pnf", "oem9.inf", "oem9.pnf", "oem10.inf", "oem10.pnf"}) {
        EXPECT_TRUE(FileExists(Inf(kept))) << kept;
    }

    const std::string args = kUninstallArgs;
    EXPECT_EQ(RecordedCalls(), std::vector<std::string>{args + " " + args});
}

TEST_F(TidrekOnWine, SecondRunChangesNothingFurther) {
    Seed();
    ASSERT_TRUE(RunTidrek(IDYES).boxAnswered);
    const Snapshot afterFirst = Take();

    ASSERT_TRUE(RunTidrek(IDYES).boxAnswered);
    EXPECT_EQ(Take(), afterFirst);
    EXPECT_EQ(RecordedCalls().size(), 2u) << "the uninstaller starts while its entry exists";

    DeleteTree(kUninstall);
    const RunResult third = RunTidrek(IDYES);
    ASSERT_TRUE(third.boxAnswered);
    EXPECT_EQ(RecordedCalls().size(), 2u) << "no entry, no uninstaller";
}

}  // namespace
