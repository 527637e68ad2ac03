// jpeg_bench [PICTURE...]: decoding speed of the system's decoder and of
// libjpeg-turbo's TurboJPEG API (accurate integer DCT, BGR, bottom-up) with its SIMD
// code on and off, in megapixels per second of processor time, with the ratios. The SIMD-off
// figures come from a child process started with JSIMD_FORCENONE=1, which libjpeg-turbo reads once
// per process.

#include <turbojpeg.h>

#include <time.h>

#include <algorithm>
#include <array>
#include <functional>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jpeg/jpeg_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "jpeg_bench: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Processor time of this process, so that time spent descheduled on a busy
// machine does not count.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds per call of each decoder: the best average over rounds of about 0.1 s,
// the decoders taking turns round by round so that both see the same machine.
template <typename... Decode>
std::array<double, sizeof...(Decode)> SecondsPerDecode(Decode... decode) {
    constexpr std::size_t n = sizeof...(Decode);
    std::array<std::function<void()>, n> calls = {std::function<void()>(decode)...};
    std::array<double, n> best;
    best.fill(1e9);
    for (auto& call : calls) {
        call();  // warm caches and page tables
    }
    for (int round = 0; round < 15; ++round) {
        for (std::size_t i = 0; i < n; ++i) {
            int count = 0;
            const double start = CpuSeconds();
            double elapsed = 0;
            do {
                calls[i]();
                ++count;
                elapsed = CpuSeconds() - start;
            } while (elapsed < 0.1);
            best[i] = std::min(best[i], elapsed / count);
        }
    }
    return best;
}

struct Picture {
    std::vector<std::uint8_t> bytes;
    int width = 0;
    int height = 0;
};

Picture Load(const std::string& path) {
    Picture p{ReadFile(path)};
    tjhandle h = tjInitDecompress();
    int subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(h, p.bytes.data(), p.bytes.size(), &p.width, &p.height, &subsampling,
                            &colourspace) != 0) {
        std::fprintf(stderr, "jpeg_bench: %s: not a JPEG file\n", path.c_str());
        std::exit(1);
    }
    tjDestroy(h);
    return p;
}

// libjpeg-turbo decodes into one buffer it is given, with one handle: its best case.
class Turbo {
  public:
    explicit Turbo(const Picture& p)
        : p_(p),
          handle_(tjInitDecompress()),
          out_(static_cast<std::size_t>(p.width) * p.height * 3) {}
    ~Turbo() { tjDestroy(handle_); }
    void operator()() {
        if (tjDecompress2(handle_, p_.bytes.data(), p_.bytes.size(), out_.data(), p_.width,
                          p_.width * 3, p_.height, TJPF_BGR,
                          TJFLAG_BOTTOMUP | TJFLAG_ACCURATEDCT) != 0) {
            std::fprintf(stderr, "jpeg_bench: libjpeg-turbo: %s\n", tjGetErrorStr2(handle_));
            std::exit(1);
        }
    }

  private:
    const Picture& p_;
    tjhandle handle_;
    std::vector<std::uint8_t> out_;
};

// One decoder object per picture, as the system's callers use it.
void OwnDecode(const Picture& p) {
    vx::JpegDecoder decoder;
    if (decoder.DecodeMemory(p.bytes.data(), static_cast<std::uint32_t>(p.bytes.size())) ==
        nullptr) {
        std::fprintf(stderr, "jpeg_bench: the decoder refuses the picture\n");
        std::exit(1);
    }
}

double TurboSecondsWithoutSimd(const char* self, const std::string& path) {
    const std::string command =
        "JSIMD_FORCENONE=1 '" + std::string(self) + "' --turbo-seconds '" + path + "'";
    std::FILE* child = popen(command.c_str(), "r");
    double seconds = 0;
    if (child == nullptr || std::fscanf(child, "%lf", &seconds) != 1 || pclose(child) != 0) {
        std::fprintf(stderr, "jpeg_bench: the SIMD-off run failed\n");
        std::exit(1);
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--turbo-seconds") == 0) {
        const Picture p = Load(argv[2]);
        Turbo turbo(p);
        std::printf("%.9f\n", SecondsPerDecode([&] { turbo(); })[0]);
        return 0;
    }
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        paths.push_back(argv[i]);
    }
    if (paths.empty()) {
        paths = {VX_JPEG_FULL_PICTURE, VX_JPEG_THUMBNAIL};
    }
    std::printf("%-28s %10s %12s %12s %9s %9s\n", "picture", "own MP/s", "turbo SIMD",
                "turbo plain", "own/SIMD", "own/plain");
    for (const auto& path : paths) {
        const Picture p = Load(path);
        const double megapixels = p.width * static_cast<double>(p.height) / 1e6;
        Turbo turbo(p);
        const auto seconds = SecondsPerDecode([&] { OwnDecode(p); }, [&] { turbo(); });
        const double own = megapixels / seconds[0];
        const double simd = megapixels / seconds[1];
        const double plain = megapixels / TurboSecondsWithoutSimd(argv[0], path);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%-28s %10.1f %12.1f %12.1f %9.2f %9.2f\n", name.c_str(), own, simd, plain,
                    own / simd, own / plain);
    }
    return 0;
}
