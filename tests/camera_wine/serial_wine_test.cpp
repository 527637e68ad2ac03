// The serial link under Wine: camtool and the camera link itself through the real COM
// port adapter, against serial camera stand-ins on pseudo-terminals. Each test runs as
// its own CTest entry inside scripts/with-serial-cameras, which maps COM1 and COM2 as
// that entry needs (see CMakeLists.txt) and names the stand-ins' logs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "camera/messages.h"
#include "camera/win/serial_port_win.h"
#include "camera/win/still_image_win.h"
#include "tests/camera_wine/camtool_runner.h"

namespace vx::wine {
namespace {

// A Linux path as this program sees it.
std::string WindowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// What the stand-in on a port logged: its card folder, every command byte heard, and
// the line settings the port had when the last of them came.
struct StandinLog {
    std::string card;
    std::string line;
    std::vector<std::string> commands;
    int Count(const std::string& command) const {
        return static_cast<int>(std::count(commands.begin(), commands.end(), command));
    }
};

StandinLog ReadStandinLog(int port) {
    StandinLog log;
    char path[MAX_PATH] = {};
    const std::string variable = "VX_SERIAL_LOG_COM" + std::to_string(port);
    if (GetEnvironmentVariableA(variable.c_str(), path, MAX_PATH) == 0) {
        ADD_FAILURE() << variable << " is not set: run this test through with-serial-cameras";
        return log;
    }
    for (const std::string& line : ReadLines(WindowsPath(path))) {
        if (line.rfind("card ", 0) == 0) {
            log.card = WindowsPath(line.substr(5));
        } else if (line.rfind("line ", 0) == 0) {
            log.line = line.substr(5);
        } else {
            log.commands.push_back(line);
        }
    }
    return log;
}

class RecordingUser final : public UserSide {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void RunExitCommand() override {}
    void SetSerialButtonPushed(bool) override {}
    void RepaintSerialButton() override {}
    void RepaintUsbButton() override {}
    std::vector<std::string> messages;
};

// The real COM port, counting the bytes that cross it each way.
class CountingPorts final : public SerialPortSystem {
  public:
    std::unique_ptr<SerialPort> Open(const std::string& name) override {
        std::unique_ptr<SerialPort> port = real_.Open(name);
        if (!port)
            return nullptr;
        return std::make_unique<Counting>(std::move(port), *this);
    }
    std::uint64_t written = 0;
    std::uint64_t read = 0;

  private:
    class Counting final : public SerialPort {
      public:
        Counting(std::unique_ptr<SerialPort> port, CountingPorts& owner)
            : port_(std::move(port)), owner_(owner) {}
        bool GetLineSettings(LineSettings& s) override { return port_->GetLineSettings(s); }
        bool SetLineSettings(const LineSettings& s) override { return port_->SetLineSettings(s); }
        bool SetWriteTimeouts(const WriteTimeouts& t) override {
            return port_->SetWriteTimeouts(t);
        }
        bool SetReadTimeouts(const ReadTimeouts& t) override { return port_->SetReadTimeouts(t); }
        bool Write(std::span<const std::uint8_t> bytes, std::uint32_t& done) override {
            const bool ok = port_->Write(bytes, done);
            owner_.written += done;
            return ok;
        }
        bool Read(std::span<std::uint8_t> bytes, std::uint32_t& done) override {
            const bool ok = port_->Read(bytes, done);
            owner_.read += done;
            return ok;
        }
        bool Purge(std::uint32_t flags) override { return port_->Purge(flags); }

      private:
        std::unique_ptr<SerialPort> port_;
        CountingPorts& owner_;
    };
    WinSerialPortSystem real_;
};

// The camera link as the browser holds it, on the real COM ports.
struct Link {
    WinStillImageSystem stillImage;
    CountingPorts ports;
    SystemClock clock;
    RecordingUser user;
    PictureCatalogue catalogue;
    CameraLink link{{.stillImage = stillImage,
                     .serialPorts = &ports,
                     .clock = clock,
                     .user = user,
                     .catalogue = catalogue}};
};

// COM1: a camera that answers the probe wrongly. COM2: the camera with the 30 pictures.
TEST(SerialCamera, ProbeAnsweredWronglyOnCom1ThenCom2Answers) {
    {
        Link l;
        l.link.OpenSerialLink();
        EXPECT_EQ(l.link.mode(), LinkMode::Serial);
        EXPECT_EQ(l.link.portName(), "COM2");
        EXPECT_TRUE(l.user.messages.empty());
    }
    EXPECT_EQ(ReadStandinLog(1).commands, std::vector<std::string>{"0xB1"});
    EXPECT_EQ(ReadStandinLog(2).commands, std::vector<std::string>{"0xB1"});

    const CamtoolResult result = RunCamtool("--serial list", {});
    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(result.OutLines(), ExpectedListing(ReadStandinLog(2).card));
}

// COM1 and COM2: cameras that never answer the probe.
TEST(SerialCamera, NoCameraOnEitherPortLeavesBothClosed) {
    // The ports are not exclusive under Wine, so a port left open shows only in the
    // process's handle count. One opened here first proves the count sees it.
    const HANDLE port =
        CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    const DWORD withPort = HandleCount();
    CloseHandle(port);
    const DWORD before = HandleCount();
    ASSERT_EQ(withPort, before + 1);

    Link l;
    l.link.OpenSerialLink();
    EXPECT_EQ(l.link.mode(), LinkMode::None);
    EXPECT_FALSE(l.link.portOpen());
    EXPECT_EQ(l.link.portName(), "COM2");
    EXPECT_EQ(HandleCount(), before) << "a port was left open";
    // No link was open, so the link command itself says nothing.
    EXPECT_TRUE(l.user.messages.empty());
    EXPECT_EQ(ReadStandinLog(1).Count("0xB1"), 1);
    EXPECT_EQ(ReadStandinLog(2).Count("0xB1"), 1);

    const CamtoolResult result = RunCamtool("--serial list", {});
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.out, std::string(kTextNoSerialCamera) + "\n");

    // At start-up with no USB camera either, only the start-up message is shown.
    const CamtoolResult startUp = RunCamtool("list", {{"VX_STI_DEVICES", "none"}});
    EXPECT_EQ(startUp.exitCode, 1u);
    EXPECT_EQ(startUp.out, std::string(kTextNoCamera) + "\n");
}

// COM1: the camera with 30 pictures; COM2: nothing.
TEST(SerialCamera, ListsThirtyPicturesAcrossTwoDirectoryBlocks) {
    const CamtoolResult result = RunCamtool("--serial list", {});
    EXPECT_EQ(result.exitCode, 0u) << result.out;
    const StandinLog log = ReadStandinLog(1);
    EXPECT_EQ(result.OutLines(), ExpectedListing(log.card));
    EXPECT_EQ(result.OutLines().size(), 30u);
    // 25 records, "another block follows", then the last 5.
    EXPECT_EQ(log.commands, (std::vector<std::string>{"0xB1", "0xC1", "0xC1"}));
    // The line as the link set it up, through the port's own settings call.
    EXPECT_EQ(log.line, "115200 8N2");

    // Every thumbnail over the line, decoded.
    const std::string folder = MakeTempFolder("serial-thumbs");
    const CamtoolResult thumbs = RunCamtool("--serial thumbs \"" + folder + "\"", {});
    EXPECT_EQ(thumbs.exitCode, 0u) << thumbs.out;
    EXPECT_EQ(FileNames(folder).size(), 30u);
    RemoveFolder(folder);

    // Without a USB camera the start-up choice takes the serial link.
    const CamtoolResult startUp = RunCamtool("list", {{"VX_STI_DEVICES", "none"}});
    EXPECT_EQ(startUp.exitCode, 0u) << startUp.out;
    EXPECT_EQ(startUp.OutLines(), result.OutLines());
}

// COM1: a camera whose probe answer comes after the read gave up (510 ms); COM2: one
// whose answer is late too, but in time.
TEST(SerialCamera, ProbeAnswerAfterTheTimeOutCountsAsNone) {
    Link l;
    l.link.OpenSerialLink();
    EXPECT_EQ(l.link.mode(), LinkMode::Serial);
    EXPECT_EQ(l.link.portName(), "COM2");
}

// COM1: the camera with 30 pictures, whose first file block ends with a wrong trailer.
TEST(SerialCamera, DownloadSurvivesOneWrongTrailer) {
    const std::string folder = MakeTempFolder("serial-get");
    const CamtoolResult result = RunCamtool("--serial get SVXA0003 \"" + folder + "\"", {});
    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(result.out, "");
    const StandinLog log = ReadStandinLog(1);
    const std::vector<std::uint8_t> picture = ReadBytes(log.card + "\\SVXA0003.JPG");
    EXPECT_EQ(ReadBytes(folder + "\\SVXA0003.jpg"), picture);
    // Block 0 asked for again once, after the wrong trailer; every block once otherwise.
    const int blocks = static_cast<int>((picture.size() + 511) / 512);
    EXPECT_EQ(log.Count("0xC5"), 1);
    EXPECT_EQ(log.Count("0xC4"), blocks);
    EXPECT_NE(result.err.find("0% of SVXA0003"), std::string::npos) << result.err;
    RemoveFolder(folder);
}

// COM1: the camera with a copy of the 30 pictures, answering the first delete "no card".
TEST(SerialCamera, CardErrorAnsweringADeleteIsShownAndTheDeleteCounts) {
    const CamtoolResult result = RunCamtool("--serial delete SVXA0004", {});
    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(result.out, std::string(kTextNoCard) + "\n");
    const StandinLog log = ReadStandinLog(1);
    EXPECT_EQ(log.commands, (std::vector<std::string>{"0xB1", "0xC2", "0xC3"}));

    // The next delete is answered normally and takes the picture off the card.
    const CamtoolResult again = RunCamtool("--serial delete SVXA0005", {});
    EXPECT_EQ(again.exitCode, 0u) << again.out;
    EXPECT_EQ(again.out, "");
    EXPECT_FALSE(FileExists(log.card + "\\SVXA0005.JPG"));
    EXPECT_FALSE(FileExists(log.card + "\\TVXA0005.JPG"));
    EXPECT_TRUE(FileExists(log.card + "\\SVXA0006.JPG"));
}

// COM1: the camera with one picture of about 100 KB, at the line rate.
TEST(SerialCamera, PacedDownloadAgainstTheLineTimeFloor) {
    Link l;
    l.link.OpenSerialLink();
    ASSERT_EQ(l.link.mode(), LinkMode::Serial);
    PictureList pictures;
    ASSERT_EQ(l.link.ListPictures(pictures), 1);
    const PictureNode& node = pictures.front();
    const std::string name = ToString(node.pictureName);

    l.ports.written = 0;
    l.ports.read = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(l.link.SelectPictureSerial(name));
    const PictureBytes bytes = l.link.ReadPictureSerial(name, node.pictureSize, nullptr);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

    ASSERT_FALSE(bytes.empty());
    const std::vector<std::uint8_t> picture =
        ReadBytes(ReadStandinLog(1).card + "\\" + name + ".JPG");
    ASSERT_EQ(picture.size(), node.pictureSize);
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), bytes.begin()));
    EXPECT_TRUE(l.user.messages.empty());

    // The floor: every byte that crossed the line, at 115200 baud and 11 bits a byte.
    const double floor = static_cast<double>(l.ports.written + l.ports.read) * 11.0 / 115200.0;
    char report[256];
    std::snprintf(report, sizeof report,
                  "serial download of %u bytes: %.3f s wall, line-time floor %.3f s "
                  "(%llu bytes out, %llu in), ratio %.3f",
                  node.pictureSize, wall.count(), floor,
                  static_cast<unsigned long long>(l.ports.written),
                  static_cast<unsigned long long>(l.ports.read), wall.count() / floor);
    std::printf("%s\n", report);
    RecordProperty("report", report);
    // Kept in the build tree, where a test run's figures can be read afterwards.
    const std::string reports = BinFolder() + "..\\reports";
    CreateDirectoryA(reports.c_str(), nullptr);
    if (std::FILE* file = std::fopen((reports + "\\camera_serial_download.txt").c_str(), "w")) {
        std::fprintf(file, "%s\n", report);
        std::fclose(file);
    }
    // The stand-in paces the line: the download cannot beat the wire.
    EXPECT_GE(wall.count(), floor);
}

}  // namespace
}  // namespace vx::wine
