// Starts the serial_camera program on a pseudo-terminal and talks to it through the
// link it makes, as a COM port would: the probe, a listing, a file block, a delete on a
// scratch copy, and the link gone again once the program is stopped.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "standins/virtual_camera/card.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class SerialCameraProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() / ("vx-serial-camera-" + std::to_string(getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_ / "card");
        // Two pictures of 700 and 20 bytes with their thumbnail files.
        for (const auto& [key, size] : {std::pair{"ABC0001", 700}, std::pair{"ABC0002", 20}}) {
            Bytes picture(size);
            for (int i = 0; i < size; ++i)
                picture[i] = static_cast<std::uint8_t>(i * 7 + size);
            WriteFile(work_ / "card" / (std::string("S") + key + ".JPG"), picture);
            WriteFile(work_ / "card" / (std::string("T") + key + ".JPG"),
                      vx::virtualcam::Card::MakeThumbnailFile({0xFF, 0xD8, 0xFF, 0xD9}));
        }
    }
    void TearDown() override {
        Stop();
        fs::remove_all(work_);
    }

    // Starts the program and opens its terminal; false when it did not come up.
    bool Start(std::vector<std::string> options) {
        const fs::path ready = work_ / "ready";
        fs::remove(ready);
        options.insert(options.begin(), {VX_SERIAL_CAMERA, "--link", link().string(), "--ready",
                                         ready.string(), "--card", (work_ / "card").string()});
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> argv;
            for (std::string& o : options)
                argv.push_back(o.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        // The program writes the ready file once the link exists.
        for (int i = 0; i < 200 && !fs::exists(ready); ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        port_ = open(link().c_str(), O_RDWR | O_NOCTTY);
        if (port_ < 0)
            return false;
        // What the camera link asks of its port: 115200 baud, 8 bits, no parity, 2 stop.
        termios t{};
        tcgetattr(port_, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B115200);
        t.c_cflag |= CSTOPB;
        return tcsetattr(port_, TCSANOW, &t) == 0;
    }

    // Stops the program; its exit status.
    int Stop() {
        if (port_ >= 0)
            close(port_);
        port_ = -1;
        if (pid_ <= 0)
            return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(write(port_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Up to `n` bytes, whatever arrives before a second passes without one.
    Bytes Receive(std::size_t n) {
        Bytes bytes;
        while (bytes.size() < n) {
            pollfd fd{port_, POLLIN, 0};
            if (poll(&fd, 1, 1000) <= 0)
                break;
            std::uint8_t buffer[1024];
            const ssize_t got = read(port_, buffer, std::min(sizeof buffer, n - bytes.size()));
            if (got <= 0)
                break;
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
        return bytes;
    }

    fs::path link() const { return work_ / "com1"; }

    fs::path work_;
    pid_t pid_ = -1;
    int port_ = -1;
};

TEST_F(SerialCameraProgram, AnswersTheProbeAsItsFaultsSay) {
    struct Case {
        std::vector<std::string> options;
        Bytes answer;
    };
    const Case cases[] = {
        {{"--no-pacing"}, {0xD1}},
        {{}, {0xD1}},  // paced
        {{"--no-pacing", "--faults", "wrongProbeAnswer=once,probeAnswer=0x5A"}, {0x5A}},
        {{"--no-pacing", "--faults", "noProbeAnswer=once"}, {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Start(c.options));
        Send({0xB1});
        EXPECT_EQ(Receive(c.answer.empty() ? 1 : c.answer.size()), c.answer);
        EXPECT_EQ(Stop(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link()))) << "link left behind";
    }
}

TEST_F(SerialCameraProgram, ListsAndSendsFileBlocks) {
    ASSERT_TRUE(Start({"--no-pacing"}));
    Send({0xC1});
    const Bytes listing = Receive(3 + 2 * 20 + 1);
    ASSERT_EQ(listing.size(), 44u);
    EXPECT_EQ(listing[1], 0xF2);  // after the acknowledgement
    EXPECT_EQ(listing[2], 2);     // records
    EXPECT_EQ(std::string(listing.begin() + 4, listing.begin() + 11), "ABC0001");
    EXPECT_EQ(listing[3 + 16] | listing[3 + 17] << 8, 700);

    // Select S + name, then two blocks of the 700-byte picture, the second zero-padded.
    Send({0xC2});
    EXPECT_EQ(Receive(1).size(), 1u);
    const std::string name = "SABC0001JPG ";
    Send(Bytes(name.begin(), name.end()));
    EXPECT_EQ(Receive(1).size(), 1u);
    const Bytes picture = [&] {
        std::ifstream in(work_ / "card" / "SABC0001.JPG", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    Bytes received;
    for (int block = 0; block < 2; ++block) {
        Send({0xC4});
        const Bytes answer = Receive(515);
        ASSERT_EQ(answer.size(), 515u) << block;
        EXPECT_EQ(answer[1], 0xF2) << block;
        EXPECT_EQ(answer[514], 0xF4) << block;
        received.insert(received.end(), answer.begin() + 2, answer.begin() + 514);
    }
    ASSERT_EQ(received.size(), 1024u);
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), received.begin()));
    EXPECT_TRUE(std::all_of(received.begin() + 700, received.end(), [](auto b) { return b == 0; }));
}

TEST_F(SerialCameraProgram, ScratchCardTakesTheDeletes) {
    ASSERT_TRUE(Start({"--no-pacing", "--scratch", "--log", (work_ / "log").string()}));
    Send({0xC2});
    Receive(1);
    const std::string name = "SABC0002JPG ";
    Send(Bytes(name.begin(), name.end()));
    Receive(1);
    Send({0xC3});
    const Bytes answer = Receive(2);
    ASSERT_EQ(answer.size(), 2u);
    EXPECT_EQ(answer[1], 0xF2);

    std::ifstream log(work_ / "log");
    std::string line;
    std::getline(log, line);
    ASSERT_EQ(line.rfind("card ", 0), 0u);
    const fs::path scratch = line.substr(5);
    EXPECT_FALSE(fs::exists(scratch / "SABC0002.JPG"));
    EXPECT_FALSE(fs::exists(scratch / "TABC0002.JPG"));
    EXPECT_TRUE(fs::exists(work_ / "card" / "SABC0002.JPG"));
    std::vector<std::string> commands;
    while (std::getline(log, line))
        commands.push_back(line);
    EXPECT_EQ(commands, (std::vector<std::string>{"line 115200 8N2", "0xC2", "0xC3"}));
    EXPECT_EQ(Stop(), 0);
    EXPECT_FALSE(fs::exists(scratch)) << "scratch card left behind";
}

}  // namespace
