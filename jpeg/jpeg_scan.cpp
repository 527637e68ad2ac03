// DecodeScan: the entropy-coded data after SOS turned into pixels. Huffman codes
// are matched exactly as the canonical rows define them (shortest matching length
// first); codes of up to 10 bits are found with one table look-up, and for AC
// coefficients whose code and value fit in 10 bits the look-up yields the run and
// the value at once. Longer codes are matched row by row.

#include <algorithm>
#include <array>
#include <iterator>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_internal.h"
#include "jpeg/jpeg_kernels.h"

namespace vx {

namespace {

constexpr int kLookupBits = 10;
constexpr int kDcMaxCodeLength = 12;
constexpr int kAcMaxCodeLength = 16;
// Largest DC difference size taken: the value bits must fit the 16 bits that
// hold them.
constexpr unsigned kDcMaxSize = 16;

// The symbol of `code` of length `len`, or -1 when the row has no such code.
inline int MatchCode(const HuffmanTable& table, const std::uint8_t* symbols, int len,
                     std::uint32_t code) {
    const HuffmanLength& row = table.rows[len - 1];
    if (row.maxCode == 0xFFFF || code < row.minCode || code > row.maxCode) {
        return -1;
    }
    return symbols[(row.firstIndex + code - row.minCode) & 0xFF];
}

// Look-up entry for a 10-bit prefix, packed in 32 bits:
//   bits 0-7   bits to take (0: no code of up to 10 bits starts here)
//   bits 8-11  run (AC) or size (DC) of the symbol
//   bits 12-15 value bits still to read (AC; 0 when the value is included or the size is 0)
//   bits 16-31 the value (AC, when its bits fit in the prefix after the code)
using LookupEntry = std::uint32_t;

inline LookupEntry AcEntry(unsigned bits, unsigned symbol, unsigned toRead, std::int32_t value) {
    return bits | (symbol >> 4) << 8 | toRead << 12 | static_cast<std::uint32_t>(value) << 16;
}

struct FastTable {
    const HuffmanTable* table;
    const std::uint8_t* symbols;
    bool ac;
    LookupEntry lookup[1 << kLookupBits];

    // Entry p holds the shortest code that the first bits of p match, as the
    // row-by-row matching finds it.
    void Build(const HuffmanTable& t, const std::uint8_t* syms, bool isAc) {
        table = &t;
        symbols = syms;
        ac = isAc;
        std::fill(std::begin(lookup), std::end(lookup), 0);
        for (int len = 1; len <= kLookupBits; ++len) {
            const HuffmanLength& row = t.rows[len - 1];
            if (row.maxCode == 0xFFFF) {
                continue;
            }
            const std::uint32_t last = std::min<std::uint32_t>(row.maxCode, (1u << len) - 1);
            for (std::uint32_t code = row.minCode; code <= last; ++code) {
                const auto sym = static_cast<unsigned>(MatchCode(t, syms, len, code));
                const unsigned size = sym & 15;
                const int shift = kLookupBits - len;
                for (std::uint32_t p = code << shift; p < (code + 1) << shift; ++p) {
                    if (lookup[p] != 0) {
                        continue;
                    }
                    if (!ac) {
                        lookup[p] = static_cast<unsigned>(len) | sym << 8;
                    } else if (size > 0 && len + size <= kLookupBits) {
                        const std::uint32_t bits =
                            (p >> (kLookupBits - len - size)) & ((1u << size) - 1);
                        const std::int32_t v =
                            (bits >> (size - 1)) != 0
                                ? static_cast<std::int32_t>(bits)
                                : static_cast<std::int32_t>(bits) - ((1 << size) - 1);
                        lookup[p] = AcEntry(static_cast<unsigned>(len) + size, sym, 0, v);
                    } else {
                        lookup[p] = AcEntry(static_cast<unsigned>(len), sym, size, 0);
                    }
                }
            }
        }
    }
};

// The eight bytes at `p` as one number, the first byte highest.
inline std::uint64_t LoadBigEndian(const std::uint8_t* p) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap64(v);
#else
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
#endif
}

// MSB-first bit reader over the entropy-coded data. The byte after every FF is
// skipped unread (the 00 of byte stuffing). Bytes are fetched in pairs, as a
// 16-bit reader would, and the position after each pair is remembered, so that
// the position reached by a reader that fetches only on demand is known exactly:
// it decides whether the data sufficed and where parsing goes on after the scan.
// Bytes past the end read as zero and are never touched. The bits themselves
// (`acc`, left-aligned, and their count) are kept by the caller in locals.
class BitReader {
  public:
    BitReader(const std::uint8_t* data, std::uint32_t length, std::uint32_t pos)
        : data_(data), length_(length), pos_(pos) {
        ring_[0] = pos;
    }

    // Tops `acc` up to more than 48 bits.
    void Fill(std::uint64_t& acc, int& nbits) {
        if (pos_ <= length_ && length_ - pos_ >= 16) {
            // Usually the next eight bytes hold no FF: take whole pairs at once.
            const std::uint64_t next = LoadBigEndian(data_ + pos_);
            const std::uint64_t inverted = ~next;
            if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0) {
                const int pairs = (64 - nbits) >> 4;
                const int taken = 16 * pairs;
                const std::uint64_t chunk = taken == 64 ? next : next >> (64 - taken);
                acc |= taken == 64 ? chunk : chunk << (64 - taken - nbits);
                nbits += taken;
                for (int j = 0; j < pairs; ++j) {
                    pos_ += 2;
                    ring_[++pairs_ & 7] = pos_;
                }
                return;
            }
            do {
                const std::uint32_t b0 = data_[pos_++];
                pos_ += b0 == 0xFF;
                const std::uint32_t b1 = data_[pos_++];
                pos_ += b1 == 0xFF;
                Push(acc, nbits, (b0 << 8) | b1);
            } while (nbits <= 48);
        } else {
            do {
                const std::uint32_t b0 = Byte();
                const std::uint32_t b1 = Byte();
                Push(acc, nbits, (b0 << 8) | b1);
            } while (nbits <= 48);
        }
    }

    bool PastEnd() const { return pos_ > length_; }
    // The position of an on-demand 16-bit reader that has taken the same bits.
    std::uint32_t DemandPosition(int nbits) const {
        return ring_[(pairs_ - static_cast<std::uint32_t>(nbits) / 16) & 7];
    }

  private:
    std::uint32_t Byte() {
        if (pos_ >= length_) {
            ++pos_;
            return 0;
        }
        const std::uint32_t b = data_[pos_++];
        pos_ += b == 0xFF;
        return b;
    }
    void Push(std::uint64_t& acc, int& nbits, std::uint32_t pair) {
        acc |= static_cast<std::uint64_t>(pair) << (48 - nbits);
        nbits += 16;
        ring_[++pairs_ & 7] = pos_;
    }

    const std::uint8_t* data_;
    std::uint32_t length_;
    std::uint32_t pos_;
    std::uint32_t pairs_ = 0;
    std::uint32_t ring_[8] = {};
};

// Matches a code longer than the look-up covers, up to `maxLen` bits; -1 if none.
inline int MatchLong(const FastTable& t, std::uint64_t& acc, int& nbits, int maxLen) {
    for (int len = kLookupBits + 1; len <= maxLen; ++len) {
        const int sym =
            MatchCode(*t.table, t.symbols, len, static_cast<std::uint32_t>(acc >> (64 - len)));
        if (sym >= 0) {
            acc <<= len;
            nbits -= len;
            return sym;
        }
    }
    return -1;
}

// Takes `size` (1..16) value bits and extends their sign.
inline std::int32_t TakeValue(std::uint64_t& acc, int& nbits, unsigned size) {
    const auto bits = static_cast<std::uint32_t>(acc >> (64 - size));
    acc <<= size;
    nbits -= static_cast<int>(size);
    return (bits >> (size - 1)) != 0 ? static_cast<std::int32_t>(bits)
                                     : static_cast<std::int32_t>(bits - ((1u << size) - 1));
}

struct ComponentTables {
    const FastTable* dc;
    const FastTable* ac;
    std::uint32_t quant[64];  // in zig-zag order
};

// Rows holding any of the coefficients 0..k in zig-zag order: a block whose last
// coefficient is k has no other rows.
constexpr std::array<std::uint8_t, 64> kRowsUpTo = [] {
    std::array<std::uint8_t, 64> rows{};
    unsigned mask = 0;
    for (int k = 0; k < 64; ++k) {
        mask |= 1u << (kZigzag[k] >> 3);
        rows[k] = static_cast<std::uint8_t>(mask);
    }
    return rows;
}();

constexpr unsigned kDcOnly = 0x100;

// Zeroes the four blocks of an MCU (256 values, 64-byte aligned).
inline void ClearBlocks(std::int32_t* blocks) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 256; i += 4) {
        _mm_store_si128(reinterpret_cast<__m128i*>(blocks + i), zero);
    }
#else
    std::memset(blocks, 0, 256 * sizeof *blocks);
#endif
}

struct BitState {
    std::uint64_t acc = 0;  // left-aligned
    int nbits = 0;
};

// Decodes one block's coefficients, dequantised, into `block` (zero on entry).
// Returns a mask of the rows that may be non-zero, with kDcOnly added when the
// DC value is the only one, or 0 on failure. Kept out of
// line so that its loop has the registers to itself.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
unsigned
DecodeBlock(BitReader& br, BitState& state, const ComponentTables& t, std::uint32_t& predictor,
            std::int32_t* block) {
    std::uint64_t acc = state.acc;
    int nbits = state.nbits;
    // A DC code and its value take at most 12 + 16 bits.
    if (nbits < 32) {
        br.Fill(acc, nbits);
    }
    unsigned size;
    const LookupEntry d = t.dc->lookup[acc >> (64 - kLookupBits)];
    if (d != 0) {
        acc <<= d & 0xFF;
        nbits -= static_cast<int>(d & 0xFF);
        size = d >> 8;
    } else {
        const int sym = MatchLong(*t.dc, acc, nbits, kDcMaxCodeLength);
        if (sym < 0) {
            return 0;
        }
        size = static_cast<unsigned>(sym);
    }
    if (size > kDcMaxSize) {
        return 0;
    }
    if (size != 0) {
        predictor += static_cast<std::uint32_t>(TakeValue(acc, nbits, size));
    }
    block[0] = static_cast<std::int32_t>(predictor * t.quant[0]);

    const std::uint32_t* quant = t.quant;
    const LookupEntry* lookup = t.ac->lookup;
    int last = 0;  // zig-zag index of the last coefficient placed
    int k = 1;
    for (;;) {
        if (nbits < 32) {
            br.Fill(acc, nbits);
        }
        LookupEntry e = lookup[acc >> (64 - kLookupBits)];
        if (e == 0) {
            const int sym = MatchLong(*t.ac, acc, nbits, kAcMaxCodeLength);
            if (sym < 0) {
                return 0;
            }
            e = AcEntry(0, static_cast<unsigned>(sym), static_cast<unsigned>(sym) & 15, 0);
        }
        acc <<= e & 0xFF;
        nbits -= static_cast<int>(e & 0xFF);
        const int run = static_cast<int>((e >> 8) & 15);
        const unsigned toRead = (e >> 12) & 15;
        std::int32_t v = static_cast<std::int32_t>(e) >> 16;
        if (toRead != 0) {
            v = TakeValue(acc, nbits, toRead);
        } else if (v == 0) {
            if (run == 0) {
                break;  // end of block
            }
            if (run == 15) {  // sixteen zeros
                if (k > 48) {
                    return 0;
                }
                k += 16;
                if (k == 64) {
                    break;
                }
                continue;
            }
            // A run with size 0 places a zero after the run.
        }
        k += run;
        if (k > 63) {
            return 0;
        }
        block[kZigzag[k]] = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) * quant[k]);
        last = k;
        if (++k == 64) {
            break;
        }
    }
    state.acc = acc;
    state.nbits = nbits;
    return last == 0 ? 1u | kDcOnly : kRowsUpTo[last];
}

}  // namespace

bool JpegDecoder::DecodeScan(Stream& s) {
    // The entropy-coded data is taken only after a frame, a scan header and the
    // tables the scan selects; a second scan would fall outside the picture.
    if (!haveScanHeader || !haveFrame || pixels_ == nullptr || mcuCounter != 0) {
        return Fail(JpegStatus::NotDecodable);
    }
    // One look-up per table the scan selects, shared by the components using it.
    FastTable dc[2];
    FastTable ac[2];
    bool built[2][2] = {};
    ComponentTables tables[3];
    for (int i = 0; i < 3; ++i) {
        const unsigned dcNumber = scanSelectors[2 * i];
        const unsigned acNumber = scanSelectors[2 * i + 1];
        if (dcNumber > 1 || acNumber > 1 || !dcDefined[dcNumber] || !acDefined[acNumber] ||
            !quantDefined[componentQuant[i]]) {
            return Fail(JpegStatus::NotDecodable);
        }
        if (!built[0][dcNumber]) {
            dc[dcNumber].Build(dcTables[dcNumber], s.data + symbolOffsets[dcNumber], false);
            built[0][dcNumber] = true;
        }
        if (!built[1][acNumber]) {
            ac[acNumber].Build(acTables[acNumber], s.data + symbolOffsets[2 + acNumber], true);
            built[1][acNumber] = true;
        }
        tables[i].dc = &dc[dcNumber];
        tables[i].ac = &ac[acNumber];
        for (int k = 0; k < 64; ++k) {
            tables[i].quant[k] = quantTables[componentQuant[i]][kZigzag[k]];
        }
    }

    BitReader br(s.data, s.length, s.pos);
    BitState bits;
    alignas(64) std::int32_t blockBuffer[4][64];
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(frameWidth) * 3;
    const int mcuRows = frameHeight / 8;
    const int mcuColumns = frameWidth / 16;
    for (int mr = 0; mr < mcuRows; ++mr) {
        // The MCU row's top pixel row, counted from the start of the bottom-up rows.
        std::uint8_t* top = pixels_ + (frameHeight - 1 - 8 * mr) * rowBytes;
        for (int mc = 0; mc < mcuColumns; ++mc) {
            ClearBlocks(blockBuffer[0]);
            unsigned rows[4];
            for (int b = 0; b < 4; ++b) {
                const int comp = b == 0 ? 0 : b - 1;
                rows[b] = DecodeBlock(br, bits, tables[comp], dcPredictors[comp], blockBuffer[b]);
                if (rows[b] == 0) {
                    return Fail(JpegStatus::NotDecodable);
                }
            }
            for (int b = 0; b < 4; ++b) {
                InverseDct(blockBuffer[b], rows[b] & 0xFF);
            }
            if (br.PastEnd() && br.DemandPosition(bits.nbits) > s.length) {
                return Fail(JpegStatus::NotDecodable);
            }
            StoreMcu(blockBuffer[0], blockBuffer[1], blockBuffer[2], blockBuffer[3], top + mc * 48,
                     -rowBytes, (rows[2] & kDcOnly) != 0, (rows[3] & kDcOnly) != 0);
            mcuCounter += 2;
        }
    }
    s.pos = br.DemandPosition(bits.nbits);
    pixelsStored = true;
    return true;
}

}  // namespace vx
