// jpeg_bench [PICTURE...]: decoding speed of the system's decoder and of
// libjpeg-turbo's TurboJPEG API (accurate integer DCT, BGR, bottom-up) with its SIMD
// code on and off, in megapixels per second, with the ratios. The SIMD-off figures
// come from a child process started with JSIMD_FORCENONE=1, which libjpeg-turbo
// reads once per process.

#include <turbojpeg.h>

#include <algorithm>
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

// Seconds per call of `decode`: the best average over several rounds of about
// 0.3 s each.
template <typename Decode>
double SecondsPerDecode(Decode decode) {
    decode();  // warm caches and page tables
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        int count = 0;
        const auto start = Clock::now();
        double elapsed = 0;
        do {
            decode();
            ++count;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < 0.3);
        best = std::min(best, elapsed / count);
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

double TurboSeconds(const Picture& p) {
    tjhandle h = tjInitDecompress();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(p.width) * p.height * 3);
    const double s = SecondsPerDecode([&] {
        if (tjDecompress2(h, p.bytes.data(), p.bytes.size(), out.data(), p.width, p.width * 3,
                          p.height, TJPF_BGR, TJFLAG_BOTTOMUP | TJFLAG_ACCURATEDCT) != 0) {
            std::fprintf(stderr, "jpeg_bench: libjpeg-turbo: %s\n", tjGetErrorStr2(h));
            std::exit(1);
        }
    });
    tjDestroy(h);
    return s;
}

// One decoder object per picture, as the system's callers use it.
double OwnSeconds(const Picture& p) {
    return SecondsPerDecode([&] {
        vx::JpegDecoder decoder;
        if (decoder.DecodeMemory(p.bytes.data(), static_cast<std::uint32_t>(p.bytes.size())) ==
            nullptr) {
            std::fprintf(stderr, "jpeg_bench: the decoder refuses the picture\n");
            std::exit(1);
        }
    });
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
        std::printf("%.9f\n", TurboSeconds(Load(argv[2])));
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
        const double own = megapixels / OwnSeconds(p);
        const double simd = megapixels / TurboSeconds(p);
        const double plain = megapixels / TurboSecondsWithoutSimd(argv[0], path);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%-28s %10.1f %12.1f %12.1f %9.2f %9.2f\n", name.c_str(), own, simd, plain,
                    own / simd, own / plain);
    }
    return 0;
}
