// serial_camera: the virtual camera's serial side on a pseudo-terminal, for Windows
// programs under Wine whose COM port is mapped to it.
//
//   serial_camera --link PATH --card DIR [--scratch] [--faults SWITCHES] [--no-pacing]
//                 [--log FILE] [--ready FILE]
//
// --link     symbolic link made to the terminal (e.g. $WINEPREFIX/dosdevices/com1),
//            removed again on exit
// --card     card folder ("S???????.JPG", "T???????.JPG"); --scratch serves a copy of it
//            in a temporary folder instead, so deletes leave the original alone
// --faults   serial fault switches, e.g. "wrongTrailer=once,badStatus=once@0xC3"
// --no-pacing  answers as fast as the terminal takes them instead of at the line rate
//            of 115200 baud with 11 bits a byte (fault delays still apply)
// --log      receives "card DIR", then one line per command byte heard, each preceded
//            by "line 115200 8N2" (the port's settings) when the host changed them
// --ready    written once the link exists
// Runs until SIGTERM or SIGINT.
//
// The terminal is made this program's controlling terminal: a Wine server that opens
// it then cannot adopt it as its own, and nothing hangs up on it when this end closes.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standins/camera_switches/camera_switches.h"
#include "standins/virtual_camera/virtual_camera.h"

namespace {

namespace fs = std::filesystem;
using vx::virtualcam::Card;
using vx::virtualcam::LineTiming;
using vx::virtualcam::SerialCamera;
using vx::virtualcam::SerialFaults;
using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_stop = 0;
void Stop(int) {
    g_stop = 1;
}

struct Options {
    std::string link, card, faults, log, ready;
    bool scratch = false;
    bool pacing = true;
};

int Usage(const char* why) {
    std::fprintf(stderr,
                 "serial_camera: %s\nusage: serial_camera --link PATH --card DIR [--scratch] "
                 "[--faults SWITCHES] [--no-pacing] [--log FILE] [--ready FILE]\n",
                 why);
    return 2;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& field) {
            if (i + 1 >= argc)
                return false;
            field = argv[++i];
            return true;
        };
        bool ok = true;
        if (arg == "--link") {
            ok = value(o.link);
        } else if (arg == "--card") {
            ok = value(o.card);
        } else if (arg == "--faults") {
            ok = value(o.faults);
        } else if (arg == "--log") {
            ok = value(o.log);
        } else if (arg == "--ready") {
            ok = value(o.ready);
        } else if (arg == "--scratch") {
            o.scratch = true;
        } else if (arg == "--no-pacing") {
            o.pacing = false;
        } else {
            ok = false;
        }
        if (!ok)
            return std::nullopt;
    }
    if (o.link.empty() || o.card.empty())
        return std::nullopt;
    return o;
}

// Both directions raw: bytes pass unchanged and unbuffered.
bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// "115200 8N2": rate, data bits, parity, stop bits of the terminal.
std::string LineSettings(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return "unknown";
    static const std::pair<speed_t, int> kRates[] = {
        {B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
        {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
        {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    int rate = 0;
    for (const auto& [code, value] : kRates) {
        if (cfgetospeed(&t) == code)
            rate = value;
    }
    const int bits = (t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7 : 0;
    const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    return std::to_string(rate) + " " + std::to_string(bits) + parity +
           ((t.c_cflag & CSTOPB) ? "2" : "1");
}

class Terminal {
  public:
    ~Terminal() {
        if (slave_ >= 0)
            close(slave_);
        if (master_ >= 0)
            close(master_);
    }

    bool Open() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return false;
        const char* name = ptsname(master_);
        if (name == nullptr)
            return false;
        path_ = name;
        // Opened without O_NOCTTY: it becomes ours. Kept open, so the master never
        // reads end-of-file when the Windows program closes its port.
        slave_ = open(path_.c_str(), O_RDWR);
        if (slave_ < 0 || !MakeRaw(slave_))
            return false;
        return fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) == 0;
    }

    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& path() const { return path_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

std::chrono::nanoseconds Since(Clock::time_point start) {
    return Clock::now() - start;
}

int Serve(const Options& options) {
    fs::path cardFolder = options.card;
    std::optional<fs::path> scratch;
    if (options.scratch) {
        char pattern[] = "/tmp/vx-serial-card-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return Usage("cannot make a scratch folder");
        scratch = pattern;
        std::error_code error;
        fs::copy(cardFolder, *scratch, error);
        if (error)
            return Usage("cannot copy the card folder");
        cardFolder = *scratch;
    }
    std::optional<Card> card = Card::FromFolder(cardFolder);
    if (!card)
        return Usage("cannot read the card folder");

    SerialFaults faults;
    std::string error;
    if (!vx::virtualcam::ParseSerialFaults(options.faults, faults, error)) {
        return Usage(error.c_str());
    }
    // Without pacing the line is a billion baud: stamps still order the bytes and
    // carry the fault delays, but cost nothing.
    const LineTiming line = options.pacing ? LineTiming{} : LineTiming{1'000'000'000u, 11};
    SerialCamera camera(*card, faults, line);

    std::ofstream log;
    if (!options.log.empty()) {
        log.open(options.log, std::ios::trunc);
        log << "card " << cardFolder.string() << std::endl;
    }

    Terminal terminal;
    if (!terminal.Open())
        return Usage("cannot open a pseudo-terminal");
    std::error_code linkError;
    fs::remove(options.link, linkError);
    fs::create_symlink(terminal.path(), options.link, linkError);
    if (linkError)
        return Usage("cannot make the link");
    if (!options.ready.empty())
        std::ofstream(options.ready) << terminal.path() << "\n";

    const Clock::time_point start = Clock::now();
    std::chrono::nanoseconds lastArrival{0};
    std::size_t commandsLogged = 0;
    std::string lineLogged;
    auto& output = camera.output();
    std::vector<std::uint8_t> pending;  // due, not yet taken by the terminal

    while (!g_stop) {
        // Move every answer byte that is due to the terminal.
        const std::chrono::nanoseconds now = Since(start);
        while (!output.empty() && output.front().at <= now) {
            pending.push_back(output.front().value);
            output.pop_front();
        }
        if (!pending.empty()) {
            const ssize_t n = write(terminal.master(), pending.data(), pending.size());
            if (n > 0)
                pending.erase(pending.begin(), pending.begin() + n);
        }

        pollfd fd{terminal.master(), POLLIN, 0};
        if (!pending.empty())
            fd.events |= POLLOUT;
        timespec wait{0, 50'000'000};  // wake now and then to notice a stop
        if (pending.empty() && !output.empty()) {
            const auto until =
                std::max(output.front().at - Since(start), std::chrono::nanoseconds(0));
            if (until < std::chrono::nanoseconds(50'000'000))
                wait = {0, static_cast<long>(until.count())};
        }
        if (ppoll(&fd, 1, &wait, nullptr) < 0 && errno != EINTR)
            break;

        if (fd.revents & POLLIN) {
            std::uint8_t bytes[4096];
            const ssize_t n = read(terminal.master(), bytes, sizeof bytes);
            for (ssize_t i = 0; i < n; ++i) {
                // A byte has fully arrived one byte time after it started on the line,
                // and not before the one ahead of it.
                lastArrival = std::max(Since(start), lastArrival) + line.Bytes(1);
                camera.Receive(bytes[i], lastArrival);
            }
            const auto& commands = camera.commands();
            for (; commandsLogged < commands.size(); ++commandsLogged) {
                if (log.is_open()) {
                    // The line settings the host gave the port, whenever they change.
                    const std::string settings = LineSettings(terminal.slave());
                    if (settings != lineLogged)
                        log << "line " << settings << std::endl;
                    lineLogged = settings;
                    char text[8];
                    std::snprintf(text, sizeof text, "0x%02X", commands[commandsLogged]);
                    log << text << std::endl;
                }
            }
        }
    }
    fs::remove(options.link, linkError);
    if (scratch)
        fs::remove_all(*scratch, linkError);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options)
        return Usage("bad arguments");
    struct sigaction action {};
    action.sa_handler = Stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGHUP, SIG_IGN);
    // Whoever started us may be killed outright: stop (and remove the link) with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);

    // A session of our own, so the terminal can become its controlling terminal. A
    // process group leader cannot start one: then a child serves, and this process
    // passes a stop on to it.
    if (setsid() < 0) {
        const pid_t child = fork();
        if (child < 0)
            return Usage("cannot start a session");
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            setsid();
            return Serve(*options);
        }
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
            if (errno != EINTR)
                return 1;
            if (g_stop)
                kill(child, SIGTERM);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    return Serve(*options);
}
