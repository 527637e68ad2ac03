#include "cleaner/cleaning_sequence.h"

#include <gtest/gtest.h>

#include "cleaner/uninstall_command.h"
#include "tests/cleaner/fake_windows.h"

namespace vx {
namespace {

using testing::FakeWindows;
using testing::StartedProgram;

const std::string kEnum4100 = "Enum\\USB\\VID_0D96&PID_4100";
const std::string kEnum4102 = "Enum\\USB\\VID_0D96&PID_4102";
const std::string kClassRoot = "System\\CurrentControlSet\\Services\\Class\\";
const std::string kImageClass =
    "SYSTEM\\CurrentControlSet\\control\\class\\{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\";
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VX2917";
const std::string kAttrib = "C:\\windows\\system32\\attrib.exe";

std::string Instance(int n) {
    std::string digits = std::to_string(n);
    return kImageClass + std::string(4 - digits.size(), '0') + digits;
}

void AddUsbInstance(FakeWindows& w, const std::string& device, int inst) {
    const std::string driver =
        "Image\\" + device.substr(device.size() - 4) + "_" + std::to_string(inst);
    w.AddKey(device);
    w.AddKey(device + "\\INST_" + std::to_string(inst), {{"Driver", driver}});
    w.AddKey(kClassRoot + driver);
}

void AddImageInstance(FakeWindows& w, int n, const std::string& description,
                      const std::string& inf) {
    w.AddKey(Instance(n), {{"DriverDesc", description}, {"InfPath", inf}});
    w.AddFile("C:\\windows\\inf\\" + inf, /*readOnly=*/true);
    w.AddFile("C:\\windows\\inf\\" + PnfTwinName(inf), /*readOnly=*/true);
}

TEST(Cleaning, NoAnswerChangesNothingAndStartsNothing) {
    FakeWindows w;
    AddUsbInstance(w, kEnum4100, 0);
    AddImageInstance(w, 0, "VX2917", "oem3.inf");
    w.AddKey(kUninstall, {{"UninstallString", "C:\\unins.exe /x"}});
    const auto keysBefore = w.keys;
    const auto filesBefore = w.files;
    w.answerYes = false;

    auto system = w.System();
    EXPECT_FALSE(RunCleaning(system));
    EXPECT_EQ(w.questions, std::vector<std::string>{"Confirm Device Removal ?"});
    EXPECT_EQ(w.keys, keysBefore);
    EXPECT_EQ(w.files, filesBefore);
    EXPECT_TRUE(w.started.empty());
    EXPECT_TRUE(w.deleteRequests.empty());
    EXPECT_TRUE(w.removeRequests.empty());
}

TEST(Cleaning, WithNoCameraEntriesOnlyTheQuestionIsVisible) {
    FakeWindows w;
    w.AddKey("Software\\Other", {{"Driver", "x"}});
    w.AddFile("C:\\windows\\inf\\oem1.inf");
    const auto keysBefore = w.keys;
    const auto filesBefore = w.files;

    auto system = w.System();
    EXPECT_TRUE(RunCleaning(system));
    EXPECT_EQ(w.questions.size(), 1u);
    EXPECT_EQ(w.keys, keysBefore);
    EXPECT_EQ(w.files, filesBefore);
    EXPECT_TRUE(w.started.empty());
}

TEST(Cleaning, UsbInstancesZeroToNineLoseTheirDriverClassKeys) {
    for (const std::string& device : {kEnum4100, kEnum4102}) {
        SCOPED_TRACE(device);
        FakeWindows w;
        for (int inst = 0; inst <= 10; ++inst)
            AddUsbInstance(w, device, inst);
        auto system = w.System();
        RunCleaning(system);
        for (int inst = 0; inst <= 9; ++inst) {
            EXPECT_FALSE(w.HasKey(kClassRoot + "Image\\" + device.substr(device.size() - 4) + "_" +
                                  std::to_string(inst)))
                << inst;
        }
        EXPECT_TRUE(w.HasKey(kClassRoot + "Image\\" + device.substr(device.size() - 4) + "_10"));
        EXPECT_TRUE(w.HasKey(device + "\\INST_10"));
        // The device key still has subkeys, and the cleaner never deletes them one by one.
        EXPECT_TRUE(w.HasKey(device));
        EXPECT_TRUE(w.HasKey(device + "\\INST_0"));
    }
}

TEST(Cleaning, DeviceKeyWithoutSubkeysIsDeleted) {
    FakeWindows w;
    w.AddKey(kEnum4100);
    w.AddKey(kEnum4102);
    auto system = w.System();
    RunCleaning(system);
    EXPECT_FALSE(w.HasKey(kEnum4100));
    EXPECT_FALSE(w.HasKey(kEnum4102));
}

TEST(Cleaning, ImageInstancesZeroToNineOfThisModelLoseInfAndPnf) {
    FakeWindows w;
    for (int n = 0; n <= 10; ++n)
        AddImageInstance(w, n, "VX2917", "oem" + std::to_string(n) + ".inf");
    auto system = w.System();
    RunCleaning(system);
    for (int n = 0; n <= 9; ++n) {
        EXPECT_FALSE(w.HasFile("C:\\windows\\inf\\oem" + std::to_string(n) + ".inf")) << n;
        EXPECT_FALSE(w.HasFile("C:\\windows\\inf\\oem" + std::to_string(n) + ".pnf")) << n;
    }
    EXPECT_TRUE(w.HasFile("C:\\windows\\inf\\oem10.inf"));
    EXPECT_TRUE(w.HasFile("C:\\windows\\inf\\oem10.Pnf"));
    EXPECT_TRUE(w.HasKey(Instance(0))) << "instance keys stay";
}

TEST(Cleaning, OnlyTheExactModelNameSelectsAnInstance) {
    FakeWindows w;
    AddImageInstance(w, 0, "VX6158", "oem0.inf");
    AddImageInstance(w, 1, "VX2917", "oem3.inf");
    AddImageInstance(w, 2, "vx2917", "oem5.inf");
    AddImageInstance(w, 3, "VX2917 ", "oem6.inf");
    AddImageInstance(w, 4, "VX2917", "oem7.inf");
    w.AddFile("C:\\windows\\inf\\other\\MicrosoftVX2917.inf");
    auto system = w.System();
    RunCleaning(system);

    const std::vector<StartedProgram> expectedStarts = {
        {kAttrib, kAttrib + " -r C:\\windows\\inf\\oem3.inf", true},
        {kAttrib, kAttrib + " -r C:\\windows\\inf\\oem3.Pnf", true},
        {kAttrib, kAttrib + " -r C:\\windows\\inf\\oem7.inf", true},
        {kAttrib, kAttrib + " -r C:\\windows\\inf\\oem7.Pnf", true},
    };
    EXPECT_EQ(w.started, expectedStarts);
    const std::vector<std::string> expectedRemovals = {
        "C:\\windows\\inf\\other\\MicrosoftVX2917.inf", "C:\\windows\\inf\\oem3.inf",
        "C:\\windows\\inf\\oem3.Pnf", "C:\\windows\\inf\\oem7.inf", "C:\\windows\\inf\\oem7.Pnf"};
    EXPECT_EQ(w.removeRequests, expectedRemovals);
    for (const char* kept :
         {"oem0.inf", "oem0.Pnf", "oem5.inf", "oem5.Pnf", "oem6.inf", "oem6.Pnf"}) {
        EXPECT_TRUE(w.HasFile(std::string("C:\\windows\\inf\\") + kept)) << kept;
    }
    for (const char* gone :
         {"oem3.inf", "oem3.Pnf", "oem7.inf", "oem7.Pnf", "other\\MicrosoftVX2917.inf"}) {
        EXPECT_FALSE(w.HasFile(std::string("C:\\windows\\inf\\") + gone)) << gone;
    }
}

TEST(Cleaning, PnfTwinNames) {
    struct Case {
        const char* inf;
        const char* twin;
    };
    for (const Case& c :
         {Case{"oem3.inf", "oem3.Pnf"}, Case{"OEM12.INF", "OEM12.PNF"}, Case{"a.b.inf", "a.b.Pnf"},
          Case{"noext", ""}, Case{"dot.", ""}, Case{"dir.x\\name", ""}}) {
        EXPECT_EQ(PnfTwinName(c.inf), c.twin) << c.inf;
    }
}

TEST(Cleaning, ItemsThatDoNotFitTheirBuffersAreSkipped) {
    FakeWindows w;
    // A driver value of 128 characters leaves no room for its NUL in a 128-byte buffer.
    w.AddKey(kEnum4100 + "\\INST_0", {{"Driver", std::string(128, 'd')}});
    w.AddKey(kClassRoot + std::string(128, 'd'));
    w.AddKey(kEnum4100 + "\\INST_1", {{"Driver", std::string(127, 'e')}});
    w.AddKey(kClassRoot + std::string(127, 'e'));
    // "C:\windows\inf\" is 15 characters: a 113-character name makes a 128-character path.
    const std::string longInf = std::string(109, 'x') + ".inf";
    AddImageInstance(w, 0, "VX2917", longInf);
    const std::string fittingInf = std::string(108, 'y') + ".inf";
    AddImageInstance(w, 1, "VX2917", fittingInf);

    auto system = w.System();
    RunCleaning(system);
    EXPECT_TRUE(w.HasKey(kClassRoot + std::string(128, 'd')));
    EXPECT_FALSE(w.HasKey(kClassRoot + std::string(127, 'e')));
    EXPECT_TRUE(w.HasFile("C:\\windows\\inf\\" + longInf));
    EXPECT_FALSE(w.HasFile("C:\\windows\\inf\\" + fittingInf));
}

TEST(Cleaning, UninstallCommandMustFitTwoHundredBytes) {
    for (const std::size_t length : {199u, 200u}) {
        FakeWindows w;
        const std::string command = "C:\\u.exe " + std::string(length - 9, 'a');
        w.AddKey(kUninstall, {{"UninstallString", command}});
        auto system = w.System();
        RunCleaning(system);
        EXPECT_EQ(w.started.size(), length == 199u ? 1u : 0u) << length;
    }
}

TEST(Cleaning, WindowsDirectoryThatDoesNotFitSkipsFilesButNotTheUninstaller) {
    FakeWindows w;
    w.windowsDirectory = "C:\\" + std::string(125, 'w');
    AddImageInstance(w, 0, "VX2917", "oem3.inf");
    w.AddKey(kUninstall, {{"UninstallString", "C:\\unins.exe /x"}});
    auto system = w.System();
    RunCleaning(system);
    EXPECT_TRUE(w.removeRequests.empty());
    ASSERT_EQ(w.started.size(), 1u);
    EXPECT_EQ(w.started[0], (StartedProgram{"C:\\unins.exe", "/x /x", false}));
}

TEST(Cleaning, SecondRunChangesNothingFurtherAndStartsTheUninstallerAgain) {
    FakeWindows w;
    AddUsbInstance(w, kEnum4100, 0);
    AddImageInstance(w, 0, "VX2917", "oem3.inf");
    w.AddKey(kUninstall, {{"UninstallString", "C:\\unins.exe /x C:\\log.txt"}});
    auto system = w.System();
    RunCleaning(system);
    const auto keysAfterFirst = w.keys;
    const auto filesAfterFirst = w.files;
    w.started.clear();

    RunCleaning(system);
    EXPECT_EQ(w.keys, keysAfterFirst);
    EXPECT_EQ(w.files, filesAfterFirst);
    // The instance key stays, so the attribute tool runs again on files that are gone.
    const std::vector<StartedProgram> expected = {
        {kAttrib, kAttrib + " -r C:\\windows\\inf\\oem3.inf", true},
        {kAttrib, kAttrib + " -r C:\\windows\\inf\\oem3.Pnf", true},
        {"C:\\unins.exe", "/x C:\\log.txt /x C:\\log.txt", false}};
    EXPECT_EQ(w.started, expected);
}

TEST(UninstallCommand, Splitting) {
    struct Case {
        const char* command;
        const char* program;
        const char* commandLine;
    };
    const Case cases[] = {
        {"C:\\unins.exe /u C:\\app\\uninst.log", "C:\\unins.exe",
         "/u C:\\app\\uninst.log /u C:\\app\\uninst.log"},
        // Unquoted: the first blank splits, even inside the program's folder name.
        {"C:\\Program Files\\VX\\unins.exe /u", "C:\\Program",
         "Files\\VX\\unins.exe /u Files\\VX\\unins.exe /u"},
        // Quoted: the quotes delimit the program and are not part of it.
        {"\"C:\\Program Files\\VX\\unins.exe\" /u x.log", "C:\\Program Files\\VX\\unins.exe",
         "/u x.log /u x.log"},
        {"\"C:\\Program Files\\VX\\unins.exe\"", "C:\\Program Files\\VX\\unins.exe",
         "\"C:\\Program Files\\VX\\unins.exe\""},
        // No blank: the whole command is the program, started without arguments.
        {"C:\\unins.exe", "C:\\unins.exe", "C:\\unins.exe"},
        {"C:\\a.exe  two", "C:\\a.exe", " two  two"},
    };
    for (const Case& c : cases) {
        const UninstallLaunch launch = SplitUninstallCommand(c.command);
        EXPECT_EQ(launch.program, c.program) << c.command;
        EXPECT_EQ(launch.commandLine, c.commandLine) << c.command;
    }
}

}  // namespace
}  // namespace vx
