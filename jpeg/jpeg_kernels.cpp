// Inverse DCT and colour conversion, computed faster than the plain definitions
// but with the same results bit for bit: the inverse DCT splits each 8-point pass
// of the same integer matrix into its even and odd halves (nothing is rounded
// inside a pass, so the sums are identical), and skips rows that are zero.

#include "jpeg/jpeg_kernels.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The colour products must be formed in double precision, not in the x87 unit's
// extended precision; the build selects SSE2 arithmetic for 32-bit x86.
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "double arithmetic must not use excess precision (build with -msse2 -mfpmath=sse)"
#endif

namespace vx {

namespace {

using u32 = std::uint32_t;

// One 8-point pass: out[i] = (sum over u of x[u] * K[i][u] + round) >> shift,
// evaluated as even part E and odd part O with out[i] = E + O, out[7 - i] = E - O.
template <int Shift>
inline void Pass(u32 x0, u32 x1, u32 x2, u32 x3, u32 x4, u32 x5, u32 x6, u32 x7, u32 round,
                 std::int32_t* out, std::ptrdiff_t step) {
    const u32 a = (x0 + x4) * 8192u + round;
    const u32 c = (x0 - x4) * 8192u + round;
    const u32 b0 = x2 * 10703u + x6 * 4433u;
    const u32 b1 = x2 * 4433u - x6 * 10704u;
    const u32 e0 = a + b0, e3 = a - b0, e1 = c + b1, e2 = c - b1;
    const u32 o0 = x1 * 11363u + x3 * 9633u + x5 * 6437u + x7 * 2260u;
    const u32 o1 = x1 * 9633u - x3 * 2259u - x5 * 11362u - x7 * 6436u;
    const u32 o2 = x1 * 6437u - x3 * 11362u + x5 * 2261u + x7 * 9633u;
    const u32 o3 = x1 * 2260u - x3 * 6436u + x5 * 9633u - x7 * 11363u;
    out[0 * step] = static_cast<std::int32_t>(e0 + o0) >> Shift;
    out[7 * step] = static_cast<std::int32_t>(e0 - o0) >> Shift;
    out[1 * step] = static_cast<std::int32_t>(e1 + o1) >> Shift;
    out[6 * step] = static_cast<std::int32_t>(e1 - o1) >> Shift;
    out[2 * step] = static_cast<std::int32_t>(e2 + o2) >> Shift;
    out[5 * step] = static_cast<std::int32_t>(e2 - o2) >> Shift;
    out[3 * step] = static_cast<std::int32_t>(e3 + o3) >> Shift;
    out[4 * step] = static_cast<std::int32_t>(e3 - o3) >> Shift;
}

[[maybe_unused]] inline std::uint8_t Clamp(std::int32_t v) {
    return static_cast<std::uint8_t>(v <= 0 ? 0 : v >= 255 ? 255 : v);
}

#if defined(__SSE2__)

// Two 16-bit factors in each 32-bit lane, for multiply-and-add of interleaved rows.
inline __m128i Factors(std::int32_t low, std::int32_t high) {
    return _mm_set1_epi32(static_cast<std::int32_t>((static_cast<u32>(high) << 16) |
                                                    (static_cast<u32>(low) & 0xFFFF)));
}

// The column pass on all eight columns at once, for row results that fit in 16
// bits: each multiply-and-add forms two products exactly and adds them in 32 bits
// (the pair sums stay below 2^31), and the further sums wrap modulo 2^32 as the
// scalar pass does, so the results are the same.
void ColumnsNarrow(std::int32_t* block, unsigned rows) {
    __m128i r[8];
    for (int v = 0; v < 8; ++v) {
        r[v] = (rows & (1u << v)) == 0
                   ? _mm_setzero_si128()
                   : _mm_packs_epi32(
                         _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * v)),
                         _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * v + 4)));
    }
    const bool upper = (rows & 0xF0u) != 0;
    const __m128i round = _mm_set1_epi32(131072);
    for (int half = 0; half < 2; ++half) {
        auto interleave = [half](__m128i a, __m128i b) {
            return half == 0 ? _mm_unpacklo_epi16(a, b) : _mm_unpackhi_epi16(a, b);
        };
        const __m128i r02 = interleave(r[0], r[2]);
        const __m128i r13 = interleave(r[1], r[3]);
        const __m128i r46 = interleave(r[4], r[6]);
        const __m128i r57 = interleave(r[5], r[7]);
        for (int i = 0; i < 4; ++i) {
            const std::int32_t* k = kIdctMatrix[i];
            __m128i e = _mm_add_epi32(_mm_madd_epi16(r02, Factors(k[0], k[2])), round);
            __m128i o = _mm_madd_epi16(r13, Factors(k[1], k[3]));
            if (upper) {
                e = _mm_add_epi32(e, _mm_madd_epi16(r46, Factors(k[4], k[6])));
                o = _mm_add_epi32(o, _mm_madd_epi16(r57, Factors(k[5], k[7])));
            }
            _mm_store_si128(reinterpret_cast<__m128i*>(block + 8 * i + 4 * half),
                            _mm_srai_epi32(_mm_add_epi32(e, o), 18));
            _mm_store_si128(reinterpret_cast<__m128i*>(block + 8 * (7 - i) + 4 * half),
                            _mm_srai_epi32(_mm_sub_epi32(e, o), 18));
        }
    }
}

// K in 16-bit lanes, one row per vector, narrowed from the one matrix at compile time.
struct alignas(16) IdctRows16 {
    std::int16_t k[8][8];
};

constexpr IdctRows16 NarrowIdctMatrix() {
    IdctRows16 rows{};
    for (int i = 0; i < 8; ++i) {
        for (int u = 0; u < 8; ++u) {
            rows.k[i][u] = static_cast<std::int16_t>(kIdctMatrix[i][u]);
        }
    }
    return rows;
}

constexpr IdctRows16 kIdctRows16 = NarrowIdctMatrix();

constexpr bool NarrowingKeepsEveryValue() {
    for (int i = 0; i < 8; ++i) {
        for (int u = 0; u < 8; ++u) {
            if (kIdctRows16.k[i][u] != kIdctMatrix[i][u]) {
                return false;
            }
        }
    }
    return true;
}
static_assert(NarrowingKeepsEveryValue());

// The row pass on one row whose eight values fit in 16 bits: each output is one
// multiply-and-add against a row of K (four exact pair sums) and a horizontal sum,
// all modulo 2^32 like the scalar pass. Returns false, doing nothing, for a row
// that does not fit.
inline bool RowNarrow(std::int32_t* row, u32& wide) {
    const __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i*>(row));
    const __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i*>(row + 4));
    const __m128i x = _mm_packs_epi32(lo, hi);
    const __m128i same =
        _mm_and_si128(_mm_cmpeq_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16), lo),
                      _mm_cmpeq_epi32(_mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16), hi));
    if (_mm_movemask_epi8(same) != 0xFFFF) {
        return false;
    }
    const auto* k = reinterpret_cast<const __m128i*>(kIdctRows16.k);
    // Four outputs from four vectors of partial sums.
    auto sum4 = [](__m128i a, __m128i b, __m128i c, __m128i d) {
        const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
        const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
        return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
    };
    const __m128i round = _mm_set1_epi32(1024);
    const __m128i out0 =
        _mm_srai_epi32(_mm_add_epi32(sum4(_mm_madd_epi16(x, k[0]), _mm_madd_epi16(x, k[1]),
                                          _mm_madd_epi16(x, k[2]), _mm_madd_epi16(x, k[3])),
                                     round),
                       11);
    const __m128i out1 =
        _mm_srai_epi32(_mm_add_epi32(sum4(_mm_madd_epi16(x, k[4]), _mm_madd_epi16(x, k[5]),
                                          _mm_madd_epi16(x, k[6]), _mm_madd_epi16(x, k[7])),
                                     round),
                       11);
    _mm_store_si128(reinterpret_cast<__m128i*>(row), out0);
    _mm_store_si128(reinterpret_cast<__m128i*>(row + 4), out1);
    // Results outside 16 bits: their bits 15 to 31 are not all equal.
    const __m128i fits =
        _mm_and_si128(_mm_cmpeq_epi32(_mm_srai_epi32(out0, 15), _mm_srai_epi32(out0, 31)),
                      _mm_cmpeq_epi32(_mm_srai_epi32(out1, 15), _mm_srai_epi32(out1, 31)));
    wide |= _mm_movemask_epi8(fits) != 0xFFFF;
    return true;
}

// Transposes eight rows of eight 16-bit values.
inline void Transpose(__m128i* m) {
    const __m128i a0 = _mm_unpacklo_epi16(m[0], m[1]);
    const __m128i a1 = _mm_unpackhi_epi16(m[0], m[1]);
    const __m128i a2 = _mm_unpacklo_epi16(m[2], m[3]);
    const __m128i a3 = _mm_unpackhi_epi16(m[2], m[3]);
    const __m128i a4 = _mm_unpacklo_epi16(m[4], m[5]);
    const __m128i a5 = _mm_unpackhi_epi16(m[4], m[5]);
    const __m128i a6 = _mm_unpacklo_epi16(m[6], m[7]);
    const __m128i a7 = _mm_unpackhi_epi16(m[6], m[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
    m[0] = _mm_unpacklo_epi64(b0, b4);
    m[1] = _mm_unpackhi_epi64(b0, b4);
    m[2] = _mm_unpacklo_epi64(b1, b5);
    m[3] = _mm_unpackhi_epi64(b1, b5);
    m[4] = _mm_unpacklo_epi64(b2, b6);
    m[5] = _mm_unpackhi_epi64(b2, b6);
    m[6] = _mm_unpacklo_epi64(b3, b7);
    m[7] = _mm_unpackhi_epi64(b3, b7);
}

// One pass over eight lanes at once: out[i] = (sum over u of x[u] * K[i][u] + round)
// >> shift for lanes 0-3 (`low`) and 4-7 (`high`). With `lowLanesOnly` lanes 4-7
// of x are zero and so are their results; with `lowInputsOnly` x[4..7] are zero.
template <int Shift>
inline void VerticalPass(const __m128i* x, std::int32_t round, bool lowLanesOnly,
                         bool lowInputsOnly, __m128i* low, __m128i* high) {
    const __m128i rounding = _mm_set1_epi32(round);
    for (int half = 0; half < 2; ++half) {
        __m128i* out = half == 0 ? low : high;
        if (half == 1 && lowLanesOnly) {
            for (int i = 0; i < 8; ++i) {
                out[i] = _mm_setzero_si128();
            }
            break;
        }
        auto interleave = [half](__m128i a, __m128i b) {
            return half == 0 ? _mm_unpacklo_epi16(a, b) : _mm_unpackhi_epi16(a, b);
        };
        const __m128i x02 = interleave(x[0], x[2]);
        const __m128i x13 = interleave(x[1], x[3]);
        const __m128i x46 = interleave(x[4], x[6]);
        const __m128i x57 = interleave(x[5], x[7]);
        for (int i = 0; i < 4; ++i) {
            const std::int32_t* k = kIdctMatrix[i];
            __m128i e = _mm_add_epi32(_mm_madd_epi16(x02, Factors(k[0], k[2])), rounding);
            __m128i o = _mm_madd_epi16(x13, Factors(k[1], k[3]));
            if (!lowInputsOnly) {
                e = _mm_add_epi32(e, _mm_madd_epi16(x46, Factors(k[4], k[6])));
                o = _mm_add_epi32(o, _mm_madd_epi16(x57, Factors(k[5], k[7])));
            }
            out[i] = _mm_srai_epi32(_mm_add_epi32(e, o), Shift);
            out[7 - i] = _mm_srai_epi32(_mm_sub_epi32(e, o), Shift);
        }
    }
}

// Packs two vectors of 32-bit values to 16 bits; `saturated` gathers lanes that
// may not have fit (a packed value at a limit), which then send the block back to
// the exact 32-bit path.
inline __m128i Pack(__m128i low, __m128i high, __m128i& saturated) {
    const __m128i p = _mm_packs_epi32(low, high);
    saturated = _mm_or_si128(saturated, _mm_or_si128(_mm_cmpeq_epi16(p, _mm_set1_epi16(32767)),
                                                     _mm_cmpeq_epi16(p, _mm_set1_epi16(-32768))));
    return p;
}

// The whole block in 16-bit lanes, when its coefficients and the row pass's
// results fit in 16 bits: transpose, row pass on all rows at once, transpose back,
// column pass. Returns false, changing nothing, when something does not fit.
bool BlockNarrow(std::int32_t* block, unsigned rows) {
    __m128i saturated = _mm_setzero_si128();
    __m128i m[8];
    for (int r = 0; r < 8; ++r) {
        m[r] = (rows & (1u << r)) == 0
                   ? _mm_setzero_si128()
                   : Pack(_mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * r)),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8 * r + 4)),
                          saturated);
    }
    if (_mm_movemask_epi8(saturated) != 0) {
        return false;
    }
    const bool upperRowsZero = (rows & 0xF0u) == 0;
    Transpose(m);  // m[u]: coefficient u of every row
    __m128i low[8], high[8];
    VerticalPass<11>(m, 1024, upperRowsZero, false, low, high);
    for (int i = 0; i < 8; ++i) {
        m[i] = Pack(low[i], high[i], saturated);  // m[i]: row-pass result i of every row
    }
    if (_mm_movemask_epi8(saturated) != 0) {
        return false;
    }
    Transpose(m);  // m[v]: row v of the row pass's results
    VerticalPass<18>(m, 131072, false, upperRowsZero, low, high);
    for (int i = 0; i < 8; ++i) {
        _mm_store_si128(reinterpret_cast<__m128i*>(block + 8 * i), low[i]);
        _mm_store_si128(reinterpret_cast<__m128i*>(block + 8 * i + 4), high[i]);
    }
    return true;
}

#endif

}  // namespace

void InverseDct(std::int32_t* block, unsigned nonzeroRows) {
    constexpr u32 kRowRound = 1024;
    constexpr u32 kColumnRound = 131072;
    // A block holding only its DC value is one constant.
    if (nonzeroRows == 1 &&
        (block[1] | block[2] | block[3] | block[4] | block[5] | block[6] | block[7]) == 0) {
        const u32 row = static_cast<u32>(
            static_cast<std::int32_t>(static_cast<u32>(block[0]) * 8192u + kRowRound) >> 11);
        const std::int32_t v = static_cast<std::int32_t>(row * 8192u + kColumnRound) >> 18;
        for (int n = 0; n < 64; ++n) {
            block[n] = v;
        }
        return;
    }
#if defined(__SSE2__)
    if (BlockNarrow(block, nonzeroRows)) {
        return;
    }
#endif
    // Rows: a zero row stays zero; a row holding only its first value is constant.
    // `wide` gathers the results that do not fit in 16 bits.
    u32 wide = 0;
    for (int r = 0; r < 8; ++r) {
        if ((nonzeroRows & (1u << r)) == 0) {
            continue;
        }
        std::int32_t* row = block + 8 * r;
        const u32 x0 = static_cast<u32>(row[0]);
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0) {
            const std::int32_t v = static_cast<std::int32_t>(x0 * 8192u + kRowRound) >> 11;
            wide |= (static_cast<u32>(v) + 32768u) >> 16;
            for (int i = 0; i < 8; ++i) {
                row[i] = v;
            }
            continue;
        }
#if defined(__SSE2__)
        if (RowNarrow(row, wide)) {
            continue;
        }
#endif
        Pass<11>(x0, static_cast<u32>(row[1]), static_cast<u32>(row[2]), static_cast<u32>(row[3]),
                 static_cast<u32>(row[4]), static_cast<u32>(row[5]), static_cast<u32>(row[6]),
                 static_cast<u32>(row[7]), kRowRound, row, 1);
        for (int i = 0; i < 8; ++i) {
            wide |= (static_cast<u32>(row[i]) + 32768u) >> 16;
        }
    }
    // Columns.
    if ((nonzeroRows & 0xFEu) == 0) {
        for (int c = 0; c < 8; ++c) {
            const std::int32_t v =
                static_cast<std::int32_t>(static_cast<u32>(block[c]) * 8192u + kColumnRound) >> 18;
            for (int r = 0; r < 8; ++r) {
                block[8 * r + c] = v;
            }
        }
        return;
    }
#if defined(__SSE2__)
    if (wide == 0) {
        ColumnsNarrow(block, nonzeroRows);
        return;
    }
#endif
    for (int c = 0; c < 8; ++c) {
        std::int32_t* col = block + c;
        Pass<18>(static_cast<u32>(col[0]), static_cast<u32>(col[8]), static_cast<u32>(col[16]),
                 static_cast<u32>(col[24]), static_cast<u32>(col[32]), static_cast<u32>(col[40]),
                 static_cast<u32>(col[48]), static_cast<u32>(col[56]), kColumnRound, col, 8);
    }
}

// The chroma terms, once per chroma sample (each serves two pixels). Cb - 128 and
// Cr - 128 after the level shift are the inverse DCT outputs themselves. The
// loop vectorises into double multiplies and truncating conversions.
static void ChromaTerms(const std::int32_t* cb, const std::int32_t* cr, std::int32_t* blue,
                        std::int32_t* green, std::int32_t* red, bool flatCb, bool flatCr) {
    alignas(16) std::int32_t greenCb[64], greenCr[64];
    if (flatCb) {
        const double b = cb[0];
        std::fill_n(blue, 64, static_cast<std::int32_t>(1.772 * b));
        std::fill_n(greenCb, 64, static_cast<std::int32_t>(0.34414 * b));
    } else {
        for (int i = 0; i < 64; ++i) {
            const double b = cb[i];
            blue[i] = static_cast<std::int32_t>(1.772 * b);
            greenCb[i] = static_cast<std::int32_t>(0.34414 * b);
        }
    }
    if (flatCr) {
        const double r = cr[0];
        std::fill_n(red, 64, static_cast<std::int32_t>(1.402 * r));
        std::fill_n(greenCr, 64, static_cast<std::int32_t>(0.71414 * r));
    } else {
        for (int i = 0; i < 64; ++i) {
            const double r = cr[i];
            red[i] = static_cast<std::int32_t>(1.402 * r);
            greenCr[i] = static_cast<std::int32_t>(0.71414 * r);
        }
    }
    for (int i = 0; i < 64; ++i) {
        green[i] = greenCb[i] + greenCr[i];
    }
}

#if defined(__SSE2__)

// Y + 128 lies in -8064..8319 and the terms within +-14518 (green: +-8669), so the
// sums fit 16-bit lanes, and packing with unsigned saturation limits them to 0..255.
void StoreMcu(const std::int32_t* y0, const std::int32_t* y1, const std::int32_t* cb,
              const std::int32_t* cr, std::uint8_t* top, std::ptrdiff_t rowStep, bool flatCb,
              bool flatCr) {
    alignas(16) std::int32_t blue[64], green[64], red[64];
    ChromaTerms(cb, cr, blue, green, red, flatCb, flatCr);
    auto load = [](const std::int32_t* p) {
        return _mm_packs_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(p)),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(p + 4)));
    };
    const __m128i levelShift = _mm_set1_epi16(128);
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowPixel = _mm_set_epi32(0, -1, 0, -1);
    // Four B, G, R, 0 pixels to two groups of six bytes, at the bottom of each half.
    auto compact = [&](__m128i p) {
        return _mm_or_si128(_mm_and_si128(p, lowPixel),
                            _mm_srli_epi64(_mm_andnot_si128(lowPixel, p), 8));
    };
    auto store8 = [](std::uint8_t* at, __m128i v) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at), v);
    };
    for (int r = 0; r < 8; ++r) {
        const __m128i yl = _mm_add_epi16(load(y0 + 8 * r), levelShift);
        const __m128i yr = _mm_add_epi16(load(y1 + 8 * r), levelShift);
        const __m128i tb = load(blue + 8 * r);
        const __m128i tg = load(green + 8 * r);
        const __m128i tr = load(red + 8 * r);
        const __m128i b = _mm_packus_epi16(_mm_add_epi16(yl, _mm_unpacklo_epi16(tb, tb)),
                                           _mm_add_epi16(yr, _mm_unpackhi_epi16(tb, tb)));
        const __m128i g = _mm_packus_epi16(_mm_sub_epi16(yl, _mm_unpacklo_epi16(tg, tg)),
                                           _mm_sub_epi16(yr, _mm_unpackhi_epi16(tg, tg)));
        const __m128i rr = _mm_packus_epi16(_mm_add_epi16(yl, _mm_unpacklo_epi16(tr, tr)),
                                            _mm_add_epi16(yr, _mm_unpackhi_epi16(tr, tr)));
        const __m128i bgLow = _mm_unpacklo_epi8(b, g);
        const __m128i bgHigh = _mm_unpackhi_epi8(b, g);
        const __m128i r0Low = _mm_unpacklo_epi8(rr, zero);
        const __m128i r0High = _mm_unpackhi_epi8(rr, zero);
        const __m128i c0 = compact(_mm_unpacklo_epi16(bgLow, r0Low));
        const __m128i c1 = compact(_mm_unpackhi_epi16(bgLow, r0Low));
        const __m128i c2 = compact(_mm_unpacklo_epi16(bgHigh, r0High));
        const __m128i c3 = compact(_mm_unpackhi_epi16(bgHigh, r0High));
        // Eight-byte stores six bytes apart, each overwriting the two spare bytes
        // of the one before; the last two pixels go exactly, so nothing is
        // written past the row's 48 bytes.
        std::uint8_t* out = top + r * rowStep;
        store8(out + 0, c0);
        store8(out + 6, _mm_srli_si128(c0, 8));
        store8(out + 12, c1);
        store8(out + 18, _mm_srli_si128(c1, 8));
        store8(out + 24, c2);
        store8(out + 30, _mm_srli_si128(c2, 8));
        store8(out + 36, c3);
        alignas(8) std::uint8_t last[8];
        store8(last, _mm_srli_si128(c3, 8));
        std::memcpy(out + 42, last, 6);
    }
}

#else

void StoreMcu(const std::int32_t* y0, const std::int32_t* y1, const std::int32_t* cb,
              const std::int32_t* cr, std::uint8_t* top, std::ptrdiff_t rowStep, bool flatCb,
              bool flatCr) {
    alignas(16) std::int32_t blue[64], green[64], red[64];
    ChromaTerms(cb, cr, blue, green, red, flatCb, flatCr);
    for (int r = 0; r < 8; ++r) {
        std::uint8_t* out = top + r * rowStep;
        for (int c = 0; c < 16; ++c) {
            const std::int32_t y = (c < 8 ? y0[8 * r + c] : y1[8 * r + c - 8]) + 128;
            const int k = 8 * r + c / 2;
            out[3 * c + 0] = Clamp(y + blue[k]);
            out[3 * c + 1] = Clamp(y - green[k]);
            out[3 * c + 2] = Clamp(y + red[k]);
        }
    }
}

#endif

}  // namespace vx
