// jpeg2bmp IN.jpg OUT.bmp: decodes a JPEG file with the system's decoder and writes
// what it decoded as a .bmp file (the decoder's header and rows behind a bitmap
// file header). Exit status 0 on success, 1 with a one-line reason otherwise.

#include <cstdint>
#include <cstdio>
#include <string>

#include "jpeg/jpeg_decoder.h"

namespace {

const char* Reason(vx::JpegStatus status) {
    switch (status) {
        case vx::JpegStatus::Ok:
            return "no error";
        case vx::JpegStatus::NoMemory:
            return "not enough memory";
        case vx::JpegStatus::CannotOpen:
            return "cannot open the input file";
        case vx::JpegStatus::CannotRead:
            return "cannot read the input file";
        case vx::JpegStatus::NotDecodable:
            return "not a JPEG stream this decoder handles";
    }
    return "unknown error";
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: jpeg2bmp IN.jpg OUT.bmp\n");
        return 2;
    }
    vx::JpegDecoder decoder;
    const std::uint8_t* rows = decoder.DecodeFile(argv[1]);
    if (rows == nullptr) {
        std::fprintf(stderr, "jpeg2bmp: %s: %s\n", argv[1], Reason(decoder.status()));
        return 1;
    }
    const vx::BitmapInfoHeader& header = decoder.header();
    constexpr std::uint32_t kFileHeaderSize = 14;
    const std::uint32_t offset = kFileHeaderSize + vx::BitmapInfoHeader::kSize;
    std::uint8_t head[kFileHeaderSize + vx::BitmapInfoHeader::kSize] = {'B', 'M'};
    Put32(head + 2, offset + header.biSizeImage);
    Put32(head + 10, offset);
    header.WriteTo(head + kFileHeaderSize);

    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "jpeg2bmp: %s: cannot create the output file\n", argv[2]);
        return 1;
    }
    const bool written = std::fwrite(head, 1, sizeof head, out) == sizeof head &&
                         std::fwrite(rows, 1, header.biSizeImage, out) == header.biSizeImage;
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "jpeg2bmp: %s: cannot write the output file\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
