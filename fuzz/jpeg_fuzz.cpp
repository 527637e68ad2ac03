// Feeds arbitrary bytes to the decoder, as memory and as a file, and holds every
// result against the literal definition of the decoding: any crash, sanitizer
// report or difference is a finding.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "jpeg/jpeg_decoder.h"
#include "tests/jpeg/literal_decoder.h"

namespace {

void Check(const vx::JpegDecoder& decoder, const std::uint8_t* rows,
           const vx::test::LiteralPicture& literal) {
    if ((rows != nullptr) != literal.ok) {
        std::fprintf(stderr, "decoder %s, literal definition %s\n", rows ? "decodes" : "refuses",
                     literal.ok ? "decodes" : "refuses");
        std::abort();
    }
    if (rows != nullptr &&
        (decoder.header().biWidth != literal.width || decoder.header().biHeight != literal.height ||
         std::memcmp(rows, literal.pixels.data(), literal.pixels.size()) != 0)) {
        std::fprintf(stderr, "pixels differ from the literal definition\n");
        std::abort();
    }
}

// Frames above 4 MB are refused as out of memory: hostile frame sizes would
// otherwise spend the fuzzing time on clearing and comparing huge black frames.
// Blocks come filled with a pattern, so that pixels the decoder fails to write
// differ from the literal definition's.
void* Allocate(std::size_t bytes) {
    if (bytes > (4u << 20)) {
        return nullptr;
    }
    void* block = std::malloc(bytes);
    if (block != nullptr) {
        std::memset(block, 0xA5, bytes);
    }
    return block;
}
void Release(void* block) {
    std::free(block);
}
const vx::JpegMemory kMemory{&Allocate, &Release};

const std::string& TempPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/vx_jpeg_fuzz_" +
               std::to_string(getpid()) + ".jpg";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(size);
    {
        vx::JpegDecoder decoder(kMemory);
        const std::uint8_t* rows = decoder.DecodeMemory(data, length);
        if (decoder.status() != vx::JpegStatus::NoMemory) {
            Check(decoder, rows, vx::test::LiteralDecodeMemory(data, length));
        }
    }
    if (std::FILE* f = std::fopen(TempPath().c_str(), "wb")) {
        const bool written = std::fwrite(data, 1, size, f) == size;
        if (std::fclose(f) == 0 && written) {
            vx::JpegDecoder decoder(kMemory);
            const std::uint8_t* rows = decoder.DecodeFile(TempPath());
            if (decoder.status() != vx::JpegStatus::NoMemory) {
                Check(decoder, rows, vx::test::LiteralDecodeFileBytes(data, length));
            }
        }
    }
    return 0;
}
