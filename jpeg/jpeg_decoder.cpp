// The decoder object, its two entry points, the marker loop and the segment
// handlers that fill the decoder's tables. The scan itself is in jpeg_scan.cpp.

#include "jpeg/jpeg_decoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "jpeg/jpeg_internal.h"

namespace vx {

namespace {

void* HeapAllocate(std::size_t bytes) {
    return std::malloc(bytes);
}
void HeapRelease(void* block) {
    std::free(block);
}

std::uint32_t Read16(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 8) | p[1];
}

}  // namespace

const JpegDecoder::MarkerRow JpegDecoder::MarkerTable[] = {
    {0xD8, &JpegDecoder::OnSOI},
    {0xC0, &JpegDecoder::OnSOF0},
    {0xC4, &JpegDecoder::OnDHT},
    {0xFE, &JpegDecoder::SkipSegment},
    {0xDB, &JpegDecoder::OnDQT},
    {0xDD, &JpegDecoder::SkipSegment},
    {0xD9, &JpegDecoder::OnEOI},
    {0xDC, &JpegDecoder::SkipSegment},
    {0xDA, &JpegDecoder::OnSOS},
    {0xE0, &JpegDecoder::SkipSegment},
    {0xE1, &JpegDecoder::SkipSegment},
    {0xE2, &JpegDecoder::SkipSegment},
    {0xE3, &JpegDecoder::SkipSegment},
    {0xE4, &JpegDecoder::SkipSegment},
    {0xE5, &JpegDecoder::SkipSegment},
    {0xE6, &JpegDecoder::SkipSegment},
    {0xE7, &JpegDecoder::SkipSegment},
    {0xE8, &JpegDecoder::SkipSegment},
    {0xE9, &JpegDecoder::SkipSegment},
    {0xEA, &JpegDecoder::SkipSegment},
    {0xEB, &JpegDecoder::SkipSegment},
    {0xEC, &JpegDecoder::SkipSegment},
    {0xED, &JpegDecoder::SkipSegment},
    {0xEE, &JpegDecoder::SkipSegment},
    {0x00, nullptr},
};

JpegDecoder::JpegDecoder() : JpegDecoder(JpegMemory{&HeapAllocate, &HeapRelease}) {}

JpegDecoder::JpegDecoder(const JpegMemory& memory) : memory_(memory) {
    Start();
}

JpegDecoder::~JpegDecoder() {
    ReleasePixels();
}

void JpegDecoder::ReleasePixels() {
    if (pixels_ != nullptr) {
        memory_.release(pixels_);
        pixels_ = nullptr;
    }
}

// Every decode starts from a clean state, so a decoder object that is used again
// decodes its second picture exactly as a fresh one would.
void JpegDecoder::Start() {
    ReleasePixels();
    status_ = JpegStatus::Ok;
    header_ = BitmapInfoHeader{};
    header_.biXPelsPerMeter = 2835;
    header_.biYPelsPerMeter = 2835;
    dataLength = 0;
    finished = false;
    frameWidth = 0;
    frameHeight = 0;
    for (int i = 0; i < 2; ++i) {
        dcDefined[i] = acDefined[i] = quantDefined[i] = false;
        dcTables[i] = HuffmanTable{};
        acTables[i] = HuffmanTable{};
    }
    std::memset(quantTables, 0, sizeof quantTables);
    std::memset(componentQuant, 0, sizeof componentQuant);
    haveFrame = false;
    pixelsStored = false;
    haveScanHeader = false;
    std::memset(symbolOffsets, 0, sizeof symbolOffsets);
    std::memset(scanSelectors, 0, sizeof scanSelectors);
    std::memset(dcPredictors, 0, sizeof dcPredictors);
    mcuCounter = 0;
}

bool JpegDecoder::Fail(JpegStatus why) {
    status_ = why;
    return false;
}

const std::uint8_t* JpegDecoder::DecodeMemory(const std::uint8_t* data, std::uint32_t length) {
    Start();
    if (data == nullptr || length < 2 || length > kMaxStreamLength || data[0] != 0xFF ||
        data[1] != 0xD8) {
        status_ = JpegStatus::NotDecodable;
        return nullptr;
    }
    dataLength = length;
    Stream s{data, length, 0};
    if (!RunMarkerLoop(s, true)) {
        ReleasePixels();
        return nullptr;
    }
    return pixels_;
}

const std::uint8_t* JpegDecoder::DecodeFile(const std::string& path) {
    Start();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        status_ = JpegStatus::CannotOpen;
        return nullptr;
    }
    // A first byte read tells an unreadable file (a folder, say) from a stream.
    const int first = std::fgetc(file);
    long size = -1;
    if (!(first == EOF && std::ferror(file)) && std::fseek(file, 0, SEEK_END) == 0) {
        size = std::ftell(file);
    }
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        status_ = JpegStatus::CannotRead;
        return nullptr;
    }
    if (static_cast<unsigned long>(size) > kMaxStreamLength) {
        std::fclose(file);
        status_ = JpegStatus::NotDecodable;
        return nullptr;
    }
    const auto length = static_cast<std::uint32_t>(size);
    auto* buffer = static_cast<std::uint8_t*>(memory_.allocate(length == 0 ? 1 : length));
    if (buffer == nullptr) {
        std::fclose(file);
        status_ = JpegStatus::NoMemory;
        return nullptr;
    }
    const bool read = std::fread(buffer, 1, length, file) == length;
    std::fclose(file);
    bool ok = false;
    if (!read) {
        status_ = JpegStatus::CannotRead;
    } else {
        dataLength = length;
        Stream s{buffer, length, 0};
        ok = RunMarkerLoop(s, false);
    }
    memory_.release(buffer);
    if (!ok) {
        ReleasePixels();
        return nullptr;
    }
    return pixels_;
}

// Runs marker steps until EOI or the end of the data. A byte that does not start a
// known marker begins the entropy-coded data, which is accepted only after a scan
// header. With `stopAfterScan` the decode ends after the first complete scan.
bool JpegDecoder::RunMarkerLoop(Stream& s, bool stopAfterScan) {
    while (!finished && s.pos < s.length) {
        switch (ProcessMarker(s)) {
            case MarkerResult::Done:
                break;
            case MarkerResult::Failed:
                return false;
            case MarkerResult::NotAMarker:
                if (!DecodeScan(s)) {
                    return false;
                }
                if (stopAfterScan) {
                    finished = true;
                }
                break;
        }
    }
    // A stream that ends before any SOF0 has no picture; one that ends before a scan
    // has stored the frame's pixels gives it in black. (The rows are not cleared
    // beforehand: a scan writes every one of them.)
    if (pixels_ == nullptr) {
        return Fail(JpegStatus::NotDecodable);
    }
    if (!pixelsStored) {
        std::memset(pixels_, 0, header_.biSizeImage);
    }
    status_ = JpegStatus::Ok;
    return true;
}

JpegDecoder::MarkerResult JpegDecoder::ProcessMarker(Stream& s) {
    if (s.data[s.pos] != 0xFF || s.pos + 1 >= s.length) {
        return MarkerResult::NotAMarker;
    }
    const std::uint8_t code = s.data[s.pos + 1];
    for (const MarkerRow* row = MarkerTable; row->handler != nullptr; ++row) {
        if (row->code == code) {
            ++s.pos;
            return (this->*row->handler)(s) ? MarkerResult::Done : MarkerResult::Failed;
        }
    }
    return MarkerResult::NotAMarker;
}

// Reads the segment's length field (which counts itself) and moves the position
// past the segment; `end` is the offset just after it. Segments shorter than
// `minLength` or running past the data are refused.
bool JpegDecoder::SegmentEnd(Stream& s, std::uint32_t minLength, std::uint32_t& end) {
    const std::uint32_t c = s.pos;
    if (c + 2 >= s.length) {
        return Fail(JpegStatus::NotDecodable);
    }
    const std::uint32_t length = Read16(s.data + c + 1);
    if (length < minLength || length < 2 || length > s.length - c - 1) {
        return Fail(JpegStatus::NotDecodable);
    }
    end = c + 1 + length;
    s.pos = end;
    return true;
}

bool JpegDecoder::OnSOI(Stream& s) {
    ++s.pos;
    dcDefined[0] = dcDefined[1] = acDefined[0] = acDefined[1] = false;
    return true;
}

bool JpegDecoder::OnEOI(Stream&) {
    finished = true;
    return true;
}

bool JpegDecoder::SkipSegment(Stream& s) {
    std::uint32_t end;
    return SegmentEnd(s, 2, end);
}

bool JpegDecoder::OnSOF0(Stream& s) {
    const std::uint32_t c = s.pos;
    std::uint32_t end;
    if (!SegmentEnd(s, 8, end)) {
        return false;
    }
    const std::uint8_t* p = s.data + c;
    const std::uint32_t height = Read16(p + 4);
    const std::uint32_t width = Read16(p + 6);
    const std::uint32_t count = p[8];
    if (count != 3 || end - c - 9 < 3 * count) {
        return Fail(JpegStatus::NotDecodable);
    }
    if (width == 0 || height == 0 || width > static_cast<std::uint32_t>(kMaxFrameSide) ||
        height > static_cast<std::uint32_t>(kMaxFrameSide)) {
        return Fail(JpegStatus::NotDecodable);
    }
    std::uint8_t quant[3] = {};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t id = p[9 + 3 * i];
        const std::uint8_t sampling = p[10 + 3 * i];
        const std::uint8_t table = p[11 + 3 * i];
        if (id == 0 || id > count || table > 1) {
            return Fail(JpegStatus::NotDecodable);
        }
        // Only the camera's layout: Y (identifier 1) two by one, Cb and Cr one by one.
        if (sampling != (id == 1 ? 0x21 : 0x11)) {
            return Fail(JpegStatus::NotDecodable);
        }
        quant[id - 1] = table;
    }
    std::memcpy(componentQuant, quant, sizeof quant);

    ReleasePixels();
    haveFrame = false;
    pixelsStored = false;
    frameHeight = static_cast<std::int32_t>((height + 7) / 8 * 8);
    frameWidth = static_cast<std::int32_t>((width + 15) / 16 * 16);
    const std::uint32_t bytes =
        static_cast<std::uint32_t>(frameWidth) * static_cast<std::uint32_t>(frameHeight) * 3;
    header_.biWidth = frameWidth;
    header_.biHeight = frameHeight;
    header_.biSizeImage = bytes;
    pixels_ = static_cast<std::uint8_t*>(memory_.allocate(bytes));
    if (pixels_ == nullptr) {
        return Fail(JpegStatus::NoMemory);
    }
    haveFrame = true;
    return true;
}

bool JpegDecoder::OnDHT(Stream& s) {
    const std::uint32_t c = s.pos;
    std::uint32_t end;
    if (!SegmentEnd(s, 2, end)) {
        return false;
    }
    std::uint32_t q = c + 3;
    while (q < end) {
        if (end - q < 17) {
            return Fail(JpegStatus::NotDecodable);
        }
        const std::uint8_t tcth = s.data[q];
        const unsigned tc = tcth >> 4;
        const unsigned th = tcth & 0x0F;
        if (tc > 1 || th > 1) {
            return Fail(JpegStatus::NotDecodable);
        }
        HuffmanTable& table = tc == 0 ? dcTables[th] : acTables[th];
        table = HuffmanTable{};
        // Canonical codes: c is the first code of the current length; the row
        // fields keep 16 bits, as the matching step expects.
        std::uint32_t code = 0;
        std::uint32_t total = 0;
        for (int len = 1; len <= 16; ++len) {
            const std::uint32_t n = s.data[q + len];
            total += n;
            HuffmanLength& row = table.rows[len - 1];
            row.minCode = 0;
            row.maxCode = 0xFFFF;
            if (n == 0 && total > 0) {
                code *= 2;
            }
            row.firstIndex = len == 1 ? 0
                                      : static_cast<std::uint16_t>(table.rows[len - 2].firstIndex +
                                                                   s.data[q + len - 1]);
            if (n > 0) {
                row.minCode = static_cast<std::uint16_t>(2 * code);
                code = 2 * code + n;
                row.maxCode = static_cast<std::uint16_t>(code - 1);
            }
        }
        if (end - q - 17 < total) {
            (tc == 0 ? dcDefined[th] : acDefined[th]) = false;
            return Fail(JpegStatus::NotDecodable);
        }
        symbolOffsets[th + 2 * tc] = q + 17;
        (tc == 0 ? dcDefined[th] : acDefined[th]) = true;
        q += 17 + total;
    }
    return true;
}

bool JpegDecoder::OnDQT(Stream& s) {
    const std::uint32_t c = s.pos;
    std::uint32_t end;
    if (!SegmentEnd(s, 2, end)) {
        return false;
    }
    std::uint32_t q = c + 3;
    while (q < end) {
        const std::uint8_t pqtq = s.data[q];
        const unsigned tq = pqtq & 0x0F;
        // 16-bit tables are not part of the subset handled.
        if ((pqtq >> 4) != 0 || tq > 1 || end - q < 65) {
            return Fail(JpegStatus::NotDecodable);
        }
        for (int k = 0; k < 64; ++k) {
            quantTables[tq][kZigzag[k]] = s.data[q + 1 + k];
        }
        quantDefined[tq] = true;
        q += 65;
    }
    return true;
}

bool JpegDecoder::OnSOS(Stream& s) {
    const std::uint32_t c = s.pos;
    std::uint32_t end;
    // The selector bytes of the three scan components lie at c + 5, c + 7, c + 9.
    if (!SegmentEnd(s, 9, end)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t selectors = s.data[c + 5 + 2 * i];
        scanSelectors[2 * i] = selectors >> 4;
        scanSelectors[2 * i + 1] = selectors & 0x0F;
    }
    haveScanHeader = true;
    return true;
}

}  // namespace vx
