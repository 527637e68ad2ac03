#pragma once
// The system's own baseline JPEG decoder: turns one camera picture, thumbnail or
// .jpg file into 24-bit pixel rows, bottom row first, blue, green, red per pixel.
//
// The subset handled is the one the camera writes: baseline sequential Huffman
// coding (SOF0), 8-bit quantisation tables, three components Y, Cb, Cr in one
// interleaved scan, Y sampled twice horizontally (an MCU covers 16 x 8 pixels and
// holds the blocks Y, Y, Cb, Cr). Anything else is refused with NotDecodable, as
// are malformed streams: entropy-coded data without a frame, its tables or a scan
// header before it, markers the decoder does not know before the scan, table
// numbers or component identifiers outside its storage, segments running past the
// end, a run past the block's end, a scan needing more data than there is. A
// stream that ends (or meets EOI) after the frame header but before any scan
// gives the frame in black, as the camera software always did.
//
// The decoder never shows anything itself: a failed decode returns nullptr and
// status() tells the caller why, so the caller can show its own message.

#include <cstddef>
#include <cstdint>
#include <string>

#include "dib/bitmap_info_header.h"

namespace vx {

enum class JpegStatus {
    Ok,
    NoMemory,      // the pixel rows or the file buffer could not be allocated
    CannotOpen,    // DecodeFile: the file cannot be opened
    CannotRead,    // DecodeFile: the file cannot be read to its end
    NotDecodable,  // the stream is malformed or outside the subset handled
};

// Where the decoder's large buffers (pixel rows, file contents) come from. The
// default takes them from the C heap; a host may pass its own, tests pass one that fails.
struct JpegMemory {
    void* (*allocate)(std::size_t bytes);  // a block of that size (any contents), or nullptr
    void (*release)(void* block);
};

struct HuffmanLength {
    std::uint16_t firstIndex = 0;  // index in the symbol list of the first code of this length
    std::uint16_t minCode = 0;
    std::uint16_t maxCode = 0xFFFF;  // 0xFFFF: no code of this length
};

// One Huffman table: row L - 1 describes the codes of length L. The symbols stay in
// the input stream, found through JpegDecoder's symbol offsets.
struct HuffmanTable {
    HuffmanLength rows[16];
};

class JpegDecoder {
  public:
    // Frames with a side above this (after rounding up to whole MCUs) are refused:
    // the pixel rows then stay below 192 MiB and every size fits in 32 bits.
    static constexpr std::int32_t kMaxFrameSide = 8192;

    JpegDecoder();
    explicit JpegDecoder(const JpegMemory& memory);
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Decodes `length` bytes at `data`, which must start with SOI (FF D8); decoding
    // ends after the first complete scan. Streams above 1 GiB are refused. Returns the pixel rows
    // (bottom-up, BGR, header().biSizeImage bytes, rows of frameWidth * 3 bytes) or nullptr.
    const std::uint8_t* DecodeMemory(const std::uint8_t* data, std::uint32_t length);
    // Reads the whole file (path in the platform's narrow encoding) and decodes it;
    // parsing goes on after the scan until EOI or the end of the file.
    const std::uint8_t* DecodeFile(const std::string& path);

    JpegStatus status() const { return status_; }
    // Valid after a successful decode: the frame size enlarged to a multiple of 16
    // (width) and 8 (height), 24 bits, 2835 pixels per metre.
    const BitmapInfoHeader& header() const { return header_; }
    // The rows of the last successful decode (owned by the decoder), or nullptr.
    const std::uint8_t* pixels() const { return pixels_; }

  private:
    struct Stream;
    using Handler = bool (JpegDecoder::*)(Stream&);
    struct MarkerRow {
        std::uint8_t code;
        Handler handler;
    };
    static const MarkerRow MarkerTable[];

    void Start();
    void ReleasePixels();
    bool RunMarkerLoop(Stream& s, bool stopAfterScan);
    bool Fail(JpegStatus why);

    // Marker step and segment handlers; each is called with the position on the
    // marker's code byte and leaves it after the segment.
    enum class MarkerResult { Done, NotAMarker, Failed };
    MarkerResult ProcessMarker(Stream& s);
    bool SegmentEnd(Stream& s, std::uint32_t minLength, std::uint32_t& end);
    bool OnSOI(Stream& s);
    bool OnEOI(Stream& s);
    bool SkipSegment(Stream& s);
    bool OnSOF0(Stream& s);
    bool OnDHT(Stream& s);
    bool OnDQT(Stream& s);
    bool OnSOS(Stream& s);

    // Decodes the entropy-coded data that starts at the position (jpeg_scan.cpp).
    bool DecodeScan(Stream& s);

    JpegMemory memory_;
    JpegStatus status_ = JpegStatus::Ok;
    BitmapInfoHeader header_;

    std::uint32_t dataLength = 0;
    bool finished = false;
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;
    HuffmanTable dcTables[2];
    HuffmanTable acTables[2];
    bool dcDefined[2] = {};
    bool acDefined[2] = {};
    std::uint8_t quantTables[2][64] = {};
    bool quantDefined[2] = {};
    std::uint8_t componentQuant[3] = {};
    bool haveFrame = false;     // a SOF0 was met (and no EOI since)
    bool pixelsStored = false;  // a scan has stored every MCU of the current pixels
    bool haveScanHeader = false;
    std::uint8_t* pixels_ = nullptr;
    std::uint32_t symbolOffsets[4] = {};
    std::uint8_t scanSelectors[6] = {};
    std::uint32_t dcPredictors[3] = {};  // wraps on hostile input instead of overflowing
    std::int32_t mcuCounter = 0;
};

}  // namespace vx
